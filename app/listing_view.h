#pragma once

#include <QAbstractListModel>

#include <cstddef>
#include <memory>

class ListingText;
class QAbstractItemView;
class QWidget;

// A listing's lines as rows, read from its temporary file only as a view
// asks for them.
class ListingModel : public QAbstractListModel {
    Q_OBJECT

  public:
    explicit ListingModel(std::shared_ptr<const ListingText> text, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    const ListingText& text() const { return *text_; }

  private:
    std::shared_ptr<const ListingText> text_;
};

// The listing box's text: the lines of a listing in a fixed font, selectable
// a whole line at a time (Ctrl+A selects all, Ctrl+C copies the selected
// lines as text, as does the context menu).
//
// A short listing wraps its long lines, as a summary line of a series runs
// past the box's width and is the line that matters most. Wrapping costs a
// layout of every line to know its height, and a list view keeps the place
// of every row, so a listing of more than kMostWrappedLines lines is shown
// by a view of its own that keeps nothing for each line: every row is one
// line high, only the rows on screen are read and drawn, and a horizontal
// scroll bar reaches the ends of long lines.
inline constexpr std::size_t kMostWrappedLines = 2'000;
QAbstractItemView* makeListingView(std::shared_ptr<const ListingText> text,
                                   QWidget* parent = nullptr);
