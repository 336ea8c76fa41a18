#include "safefile/streamed_file.h"

#include <algorithm>
#include <cstring>

namespace safefile {

base::Outcome<std::size_t> ByteWindow::want(std::size_t n) {
    if (file_ == nullptr) {
        return std::min<std::uint64_t>(n, memory_.size() - position_);
    }
    n = std::min(n, buffer_.size());
    while (held_ < n) {
        // What is left of the buffer moves to its front, and the rest is
        // filled in one read.
        std::memmove(buffer_.data(), buffer_.data() + start_, held_);
        start_ = 0;
        const std::span<std::uint8_t> room(buffer_.data() + start_ + held_,
                                           buffer_.size() - start_ - held_);
        auto got = file_->readAt(fileOffset_, room);
        if (!got.ok()) {
            readFailed_ = true;
            return std::move(got.problem());
        }
        if (*got == 0) {
            return held_;
        }
        held_ += *got;
        fileOffset_ += *got;
    }
    return n;
}

const std::uint8_t* ByteWindow::data() const {
    return file_ == nullptr ? memory_.data() + position_ : buffer_.data() + start_;
}

void ByteWindow::skip(std::size_t n) {
    position_ += n;
    if (file_ != nullptr) {
        start_ += n;
        held_ -= n;
    }
}

} // namespace safefile
