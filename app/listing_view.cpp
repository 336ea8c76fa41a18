#include "app/listing_view.h"

#include "app/listing_text.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QItemSelectionModel>
#include <QStyle>

#include <algorithm>
#include <climits>
#include <vector>

ListingModel::ListingModel(std::shared_ptr<const ListingText> text, QObject* parent)
    : QAbstractListModel(parent), text_(std::move(text)) {}

int ListingModel::rowCount(const QModelIndex& parent) const {
    // A listing has one line for each trigger at most, and a file holds far
    // fewer than INT_MAX triggers.
    return parent.isValid() ? 0
                            : static_cast<int>(std::min<std::size_t>(text_->lineCount(), INT_MAX));
}

QVariant ListingModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return text_->line(static_cast<std::size_t>(index.row()));
    }
    if (role == Qt::SizeHintRole && rowSize_.isValid()) {
        return rowSize_;
    }
    return {};
}

ListingView::ListingView(std::shared_ptr<const ListingText> text, QWidget* parent)
    : QListView(parent), model_(std::move(text)) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setTextElideMode(Qt::ElideNone);
    if (model_.text().lineCount() <= kMostWrappedLines) {
        setWordWrap(true);
        setResizeMode(QListView::Adjust);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    } else {
        // A fixed font: the longest line in bytes is at least as wide as it
        // is drawn (a character of a message may take more than one byte).
        const QFontMetrics metrics(font());
        const auto longest =
            static_cast<int>(std::min<std::size_t>(model_.text().longestLine(), 1'000'000));
        // As high as the item delegate makes a line of text, and as wide
        // with the room it leaves on both sides.
        const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
        model_.setRowSize(QSize(metrics.horizontalAdvance(QLatin1Char('M')) * longest + 2 * margin,
                                metrics.height()));
        setUniformItemSizes(true);
        // Laid out a batch at a time between events, so that a listing of
        // millions of lines does not hold the window up while it is laid out.
        setLayoutMode(QListView::Batched);
        setBatchSize(kRowsPerBatch);
        setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    }
    setModel(&model_);

    auto* copy = new QAction(QStringLiteral("&Copy"), this);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, [this] { copySelection(); });
    auto* all = new QAction(QStringLiteral("Select &All"), this);
    all->setShortcut(QKeySequence::SelectAll);
    all->setShortcutContext(Qt::WidgetShortcut);
    connect(all, &QAction::triggered, this, [this] { selectAll(); });
    addAction(copy);
    addAction(all);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

QString ListingView::selectedText() const {
    // The ranges in line order, each read in one go: a copy of a whole big
    // listing reads the temporary file once.
    std::vector<std::pair<int, int>> ranges;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        ranges.emplace_back(range.top(), range.bottom());
    }
    std::sort(ranges.begin(), ranges.end());
    QString text;
    int next = 0; // the first line not yet copied: ranges may overlap
    for (auto [top, bottom] : ranges) {
        top = std::max(top, next);
        if (top > bottom) {
            continue;
        }
        text += model_.text().lines(static_cast<std::size_t>(top),
                                    static_cast<std::size_t>(bottom - top + 1));
        next = bottom + 1;
    }
    return text;
}

void ListingView::copySelection() const {
    QApplication::clipboard()->setText(selectedText());
}
