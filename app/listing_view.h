#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QSize>

#include <memory>

class ListingText;

// A listing's lines as rows, read from its temporary file only as the view
// asks for them.
class ListingModel : public QAbstractListModel {
    Q_OBJECT

  public:
    explicit ListingModel(std::shared_ptr<const ListingText> text, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The one size every row is given when the rows are not wrapped (the
    // view then asks no row but the first).
    void setRowSize(QSize size) { rowSize_ = size; }

    const ListingText& text() const { return *text_; }

  private:
    std::shared_ptr<const ListingText> text_;
    QSize rowSize_;
};

// The listing box's text: the lines of a listing, selectable a whole line at
// a time (Ctrl+A selects all, Ctrl+C copies the selected lines as text).
//
// A short listing wraps its long lines, as a summary line of a series runs
// past the box's width and is the line that matters most. Wrapping costs a
// layout of every row to know its height, so a listing of more than
// kMostWrappedLines lines is not wrapped: every row is then one line high,
// the view lays out nothing but what it shows, and a horizontal scroll bar
// reaches the ends of long lines.
class ListingView : public QListView {
    Q_OBJECT

  public:
    static constexpr std::size_t kMostWrappedLines = 5'000;
    // Rows laid out at a time in a long listing: some milliseconds' work.
    static constexpr int kRowsPerBatch = 50'000;

    explicit ListingView(std::shared_ptr<const ListingText> text, QWidget* parent = nullptr);

    // The selected lines in order, each ending in '\n'.
    QString selectedText() const;
    void copySelection() const;

  private:
    ListingModel model_;
};
