#include "trigfile/text_spool.h"

#include <algorithm>
#include <vector>

namespace trigfile {

TextSpool::~TextSpool() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

void TextSpool::append(std::string_view text) {
    held_ += text;
    if (held_.size() >= kMemoryLimit) {
        spill();
    }
}

void TextSpool::spill() {
    if (fileFailed_) {
        return;
    }
    if (file_ == nullptr) {
        file_ = std::tmpfile();
        fileFailed_ = file_ == nullptr;
        if (fileFailed_) {
            return;
        }
    }
    if (std::fwrite(held_.data(), 1, held_.size(), file_) != held_.size()) {
        // A full disk: the file keeps what it had, and the rest stays in memory.
        fileFailed_ = true;
        return;
    }
    inFile_ += held_.size();
    held_.clear();
}

bool TextSpool::copyTo(std::ostream& out) {
    if (file_ != nullptr) {
        if (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0) {
            return false;
        }
        std::vector<char> buffer(1 << 16);
        for (std::size_t left = inFile_; left > 0;) {
            const std::size_t n =
                std::fread(buffer.data(), 1, std::min(left, buffer.size()), file_);
            if (n == 0) {
                return false;
            }
            out.write(buffer.data(), static_cast<std::streamsize>(n));
            left -= n;
        }
    }
    out << held_;
    return true;
}

} // namespace trigfile
