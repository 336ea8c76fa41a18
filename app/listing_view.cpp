#include "app/listing_view.h"

#include "app/listing_text.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QItemSelectionModel>
#include <QListView>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

ListingModel::ListingModel(std::shared_ptr<const ListingText> text, QObject* parent)
    : QAbstractListModel(parent), text_(std::move(text)) {}

int ListingModel::rowCount(const QModelIndex& parent) const {
    // A listing has a few lines for each trigger, and a file holds far
    // fewer than INT_MAX triggers.
    return parent.isValid() ? 0
                            : static_cast<int>(std::min<std::size_t>(text_->lineCount(), INT_MAX));
}

QVariant ListingModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) {
        return {};
    }
    return text_->line(static_cast<std::size_t>(index.row()));
}

namespace {

// The selected lines in order, each ending in '\n'; each range is read in
// one go, so that a copy of a whole big listing reads its file once.
QString selectedLines(const QItemSelection& selection, const ListingText& text) {
    std::vector<std::pair<int, int>> ranges;
    for (const QItemSelectionRange& range : selection) {
        ranges.emplace_back(range.top(), range.bottom());
    }
    std::sort(ranges.begin(), ranges.end());
    QString copied;
    int next = 0; // the first line not yet copied: ranges may overlap
    for (auto [top, bottom] : ranges) {
        top = std::max(top, next);
        if (top > bottom) {
            continue;
        }
        copied +=
            text.lines(static_cast<std::size_t>(top), static_cast<std::size_t>(bottom - top + 1));
        next = bottom + 1;
    }
    return copied;
}

// A long listing's rows, all one line high: where each row is follows from
// its number, so nothing is kept for it. The vertical scroll bar counts rows.
class LineView final : public QAbstractItemView {
  public:
    LineView(std::size_t longestLine, QWidget* parent) : QAbstractItemView(parent) {
        setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        const QFontMetrics metrics(font());
        rowHeight_ = std::max(1, metrics.height());
        charWidth_ = std::max(1, metrics.horizontalAdvance(QLatin1Char('M')));
        // A fixed font: the longest line in bytes is at least as wide as
        // it is drawn (a character of a message may take more than one
        // byte). Room on both sides as the item delegate leaves it.
        const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
        rowWidth_ = charWidth_ * static_cast<int>(std::min<std::size_t>(longestLine, 1'000'000)) +
                    2 * margin;
    }

    QRect visualRect(const QModelIndex& index) const override {
        if (!index.isValid()) {
            return {};
        }
        return QRect(-horizontalOffset(), (index.row() - top()) * rowHeight_,
                     std::max(rowWidth_, viewport()->width()), rowHeight_);
    }

    void scrollTo(const QModelIndex& index, ScrollHint hint) override {
        if (!index.isValid()) {
            return;
        }
        const int row = index.row();
        const int shown = rowsShown();
        int first = top();
        switch (hint) {
        case PositionAtTop:
            first = row;
            break;
        case PositionAtBottom:
            first = row - shown + 1;
            break;
        case PositionAtCenter:
            first = row - shown / 2;
            break;
        case EnsureVisible:
            if (row < first) {
                first = row;
            } else if (row >= first + shown) {
                first = row - shown + 1;
            }
            break;
        }
        verticalScrollBar()->setValue(first);
    }

    QModelIndex indexAt(const QPoint& point) const override {
        const int row = rowAt(point.y());
        return row >= 0 && row < rows() ? model()->index(row, 0) : QModelIndex();
    }

    // Typing finds no line here: the search of a list view goes through
    // every line until one matches, which would read the whole listing on
    // the window's thread.
    void keyboardSearch(const QString&) override {}

  protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers) override {
        if (rows() == 0) {
            return {};
        }
        const QModelIndex current = currentIndex();
        if (!current.isValid()) {
            return model()->index(0, 0);
        }
        qint64 row = current.row();
        switch (action) {
        case MoveUp:
        case MovePrevious:
            --row;
            break;
        case MoveDown:
        case MoveNext:
            ++row;
            break;
        case MovePageUp:
            row -= rowsShown();
            break;
        case MovePageDown:
            row += rowsShown();
            break;
        case MoveHome:
            row = 0;
            break;
        case MoveEnd:
            row = rows() - 1;
            break;
        case MoveLeft:
            horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
            break;
        case MoveRight:
            horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            break;
        }
        return model()->index(static_cast<int>(std::clamp<qint64>(row, 0, rows() - 1)), 0);
    }

    int horizontalOffset() const override { return horizontalScrollBar()->value(); }
    int verticalOffset() const override { return top() * rowHeight_; }
    bool isIndexHidden(const QModelIndex&) const override { return false; }

    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags flags) override {
        if (rows() == 0) {
            return;
        }
        const QRect r = rect.normalized();
        const int first = std::clamp(rowAt(r.top()), 0, rows() - 1);
        const int last = std::clamp(rowAt(r.bottom()), 0, rows() - 1);
        selectionModel()->select(QItemSelection(model()->index(first, 0), model()->index(last, 0)),
                                 flags);
    }

    QRegion visualRegionForSelection(const QItemSelection& selection) const override {
        QRegion region;
        const int first = top();
        const int last = first + rowsShown();
        for (const QItemSelectionRange& range : selection) {
            const int a = std::max(range.top(), first);
            const int b = std::min(range.bottom(), last);
            if (a <= b) {
                region += QRect(0, (a - first) * rowHeight_, viewport()->width(),
                                (b - a + 1) * rowHeight_);
            }
        }
        return region;
    }

    void paintEvent(QPaintEvent* event) override {
        QPainter painter(viewport());
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.textElideMode = Qt::ElideNone;
        const QStyle::State base = option.state;
        const QModelIndex current = currentIndex();
        const int last = std::min(rows() - 1, top() + rowsShown());
        for (int row = top(); row <= last; ++row) {
            const QModelIndex index = model()->index(row, 0);
            option.rect = visualRect(index);
            if (!event->rect().intersects(option.rect)) {
                continue;
            }
            option.state = base;
            if (selectionModel()->isSelected(index)) {
                option.state |= QStyle::State_Selected;
            }
            if (index == current && hasFocus()) {
                option.state |= QStyle::State_HasFocus;
            }
            itemDelegate()->paint(&painter, option, index);
        }
    }

    void updateGeometries() override {
        const int shown = rowsShown();
        verticalScrollBar()->setRange(0, std::max(0, rows() - shown));
        verticalScrollBar()->setSingleStep(1);
        verticalScrollBar()->setPageStep(shown);
        const int width = viewport()->width();
        horizontalScrollBar()->setRange(0, std::max(0, rowWidth_ - width));
        horizontalScrollBar()->setSingleStep(charWidth_);
        horizontalScrollBar()->setPageStep(width);
        QAbstractItemView::updateGeometries();
    }

    // The scroll bars count rows and pixels: the rows on screen are drawn
    // again rather than moved.
    void scrollContentsBy(int, int) override { viewport()->update(); }

  private:
    int rows() const { return model() ? model()->rowCount() : 0; }
    int top() const { return verticalScrollBar()->value(); }
    int rowsShown() const { return std::max(1, viewport()->height() / rowHeight_); }
    // The row at a height in the viewport, rounded down (above the view:
    // below zero).
    int rowAt(int y) const {
        const int rowsDown = y >= 0 ? y / rowHeight_ : -((-y + rowHeight_ - 1) / rowHeight_);
        return top() + rowsDown;
    }

    int rowHeight_ = 1;
    int charWidth_ = 1;
    int rowWidth_ = 0;
};

} // namespace

QAbstractItemView* makeListingView(std::shared_ptr<const ListingText> text, QWidget* parent) {
    const ListingText& lines = *text;
    QAbstractItemView* view = nullptr;
    if (lines.lineCount() <= kMostWrappedLines) {
        auto* list = new QListView(parent);
        list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        list->setWordWrap(true);
        list->setResizeMode(QListView::Adjust);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view = list;
    } else {
        view = new LineView(lines.longestLine(), parent);
    }
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setTextElideMode(Qt::ElideNone);
    auto* model = new ListingModel(std::move(text), view);
    view->setModel(model);

    auto* copy = new QAction(QStringLiteral("&Copy"), view);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    QObject::connect(copy, &QAction::triggered, view, [view, model] {
        QApplication::clipboard()->setText(
            selectedLines(view->selectionModel()->selection(), model->text()));
    });
    auto* all = new QAction(QStringLiteral("Select &All"), view);
    all->setShortcut(QKeySequence::SelectAll);
    all->setShortcutContext(Qt::WidgetShortcut);
    QObject::connect(all, &QAction::triggered, view, [view] { view->selectAll(); });
    view->addAction(copy);
    view->addAction(all);
    view->setContextMenuPolicy(Qt::ActionsContextMenu);
    return view;
}
