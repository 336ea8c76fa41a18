#pragma once

#include <QString>
#include <QTemporaryFile>

#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <streambuf>
#include <vector>

// A listing kept in a temporary file rather than in memory, read back a
// line at a time: a file of 100,000 triggers lists in hundreds of thousands
// of lines, and the listing box shows only the few on screen. What stays in
// memory is the offset of every kLinesPerMark-th line and a few groups of
// lines read last, whatever the listing's length.
//
// It is written once, through writer(), on any one thread, then read on
// another once finishWriting() has returned.
class ListingText {
  public:
    static constexpr std::size_t kLinesPerMark = 256;

    ListingText();
    ~ListingText();
    ListingText(const ListingText&) = delete;
    ListingText& operator=(const ListingText&) = delete;

    // Whether the temporary file could be made.
    bool ok() const { return opened_; }

    // Where the text is written, as UTF-8 lines ending in '\n'.
    std::ostream& writer() { return out_; }
    // Writes out what the writer holds; false when the disk failed.
    bool finishWriting();

    // The lines, without their line ends; a text ending in '\n' has no empty
    // line after it.
    std::size_t lineCount() const { return lines_; }
    QString line(std::size_t i) const;
    // count lines from first, each followed by '\n' (what a copy gives).
    QString lines(std::size_t first, std::size_t count) const;
    // The longest line's length in bytes: the widest a line can be drawn.
    std::size_t longestLine() const { return longest_; }

  private:
    class Spool : public std::streambuf {
      public:
        explicit Spool(ListingText& owner);
        bool flushOut();

      protected:
        int_type overflow(int_type c) override;
        int sync() override;

      private:
        ListingText& owner_;
        std::vector<char> buffer_;
    };

    void take(const char* data, std::size_t size);
    // The lines of group k (kLinesPerMark lines from marks_[k]), as bytes.
    std::vector<QByteArray> readGroup(std::size_t k) const;

    mutable QTemporaryFile file_;
    bool opened_ = false;
    bool writeFailed_ = false;
    Spool spool_;
    std::ostream out_;

    std::vector<std::uint64_t> marks_; // where lines 0, 256, 512, ... begin
    std::uint64_t size_ = 0;           // bytes written
    std::size_t lines_ = 0;
    std::size_t longest_ = 0;
    std::size_t lineSoFar_ = 0; // bytes of the line being written
    bool inLine_ = false;       // a line has begun and not yet ended

    // The groups of lines read last, so that a repaint reads nothing.
    struct Cached {
        std::size_t group = SIZE_MAX;
        std::vector<QString> lines;
    };
    mutable std::array<Cached, 4> cache_;
    mutable std::size_t nextSlot_ = 0;
};
