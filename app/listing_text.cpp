#include "app/listing_text.h"

#include <QDir>

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kWriteBuffer = std::size_t{1} << 16;

} // namespace

ListingText::Spool::Spool(ListingText& owner) : owner_(owner), buffer_(kWriteBuffer) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
}

bool ListingText::Spool::flushOut() {
    const auto n = static_cast<std::size_t>(pptr() - pbase());
    owner_.take(pbase(), n);
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return !owner_.writeFailed_;
}

ListingText::Spool::int_type ListingText::Spool::overflow(int_type c) {
    if (!flushOut()) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int ListingText::Spool::sync() {
    return flushOut() ? 0 : -1;
}

ListingText::ListingText()
    : file_(QDir::tempPath() + QStringLiteral("/tallyforge-listing-XXXXXX")), spool_(*this),
      out_(&spool_) {
    opened_ = file_.open();
    writeFailed_ = !opened_;
}

ListingText::~ListingText() = default;

void ListingText::take(const char* data, std::size_t size) {
    // The marks are found as the text goes out, so that it is never read
    // back whole.
    for (std::size_t at = 0; at < size;) {
        if (!inLine_) {
            if (lines_ % kLinesPerMark == 0) {
                marks_.push_back(size_ + at);
            }
            ++lines_;
            inLine_ = true;
            lineSoFar_ = 0;
        }
        const void* end = std::memchr(data + at, '\n', size - at);
        const std::size_t stop =
            end == nullptr ? size : static_cast<std::size_t>(static_cast<const char*>(end) - data);
        lineSoFar_ += stop - at;
        longest_ = std::max(longest_, lineSoFar_);
        if (end == nullptr) {
            break;
        }
        inLine_ = false;
        at = stop + 1;
    }
    if (!writeFailed_ && size > 0) {
        writeFailed_ = file_.write(data, static_cast<qint64>(size)) != static_cast<qint64>(size);
    }
    size_ += size;
}

bool ListingText::finishWriting() {
    out_.flush();
    spool_.flushOut();
    writeFailed_ = writeFailed_ || !file_.flush();
    return !writeFailed_;
}

std::vector<QByteArray> ListingText::readGroup(std::size_t k) const {
    std::vector<QByteArray> group;
    if (k >= marks_.size() || writeFailed_) {
        return group;
    }
    const std::uint64_t begin = marks_[k];
    const std::uint64_t end = k + 1 < marks_.size() ? marks_[k + 1] : size_;
    if (!file_.seek(static_cast<qint64>(begin))) {
        return group;
    }
    const QByteArray bytes = file_.read(static_cast<qint64>(end - begin));
    group.reserve(kLinesPerMark);
    qsizetype from = 0;
    while (from < bytes.size()) {
        qsizetype nl = bytes.indexOf('\n', from);
        if (nl < 0) {
            nl = bytes.size();
        }
        group.push_back(bytes.mid(from, nl - from));
        from = nl + 1;
    }
    return group;
}

QString ListingText::line(std::size_t i) const {
    if (i >= lines_) {
        return {};
    }
    const std::size_t k = i / kLinesPerMark;
    auto hit =
        std::find_if(cache_.begin(), cache_.end(), [k](const Cached& c) { return c.group == k; });
    if (hit == cache_.end()) {
        hit = cache_.begin() + static_cast<std::ptrdiff_t>(nextSlot_);
        nextSlot_ = (nextSlot_ + 1) % cache_.size();
        hit->group = k;
        hit->lines.clear();
        for (const QByteArray& bytes : readGroup(k)) {
            hit->lines.push_back(QString::fromUtf8(bytes));
        }
    }
    const std::size_t within = i % kLinesPerMark;
    return within < hit->lines.size() ? hit->lines[within] : QString();
}

QString ListingText::lines(std::size_t first, std::size_t count) const {
    QByteArray text;
    const std::size_t last = std::min(lines_, first + count);
    for (std::size_t i = first; i < last;) {
        const std::size_t k = i / kLinesPerMark;
        const std::vector<QByteArray> group = readGroup(k);
        for (std::size_t j = i % kLinesPerMark; j < group.size() && i < last; ++j, ++i) {
            text += group[j];
            text += '\n';
        }
        i = std::max(i, (k + 1) * kLinesPerMark); // past a group cut short by a failed read
    }
    return QString::fromUtf8(text);
}
