#include "url_list_view.h"

#include <QEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "base/failure.h"
#include "url_list_accessibility.h"

namespace qf {

UrlListView::UrlListView(QWidget* parent) : QAbstractItemView(parent), model_(this) {
    installUrlListAccessibility();
    header_ = new QHeaderView(Qt::Horizontal, this);
    setModel(&model_);
    header_->setModel(&model_);
    header_->setSectionsClickable(false);
    header_->setSectionsMovable(false);
    header_->setStretchLastSection(false);
    header_->setHighlightSections(false);
    header_->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    fitRowHeight();

    auto relayout = [this] {
        updateGeometries();
        viewport()->update();
    };
    connect(header_, &QHeaderView::sectionResized, this, relayout);
    connect(header_, &QHeaderView::sectionCountChanged, this, relayout);
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, relayout);
    connect(&model_, &QAbstractItemModel::layoutChanged, this, relayout);
    connect(&model_, &QAbstractItemModel::modelReset, this, relayout);
}

void UrlListView::setColumnWidth(int column, int width) { header_->resizeSection(column, width); }

int UrlListView::columnWidth(int column) const { return header_->sectionSize(column); }

void UrlListView::fitRowHeight() {
    rowHeight_ = std::max(1, fontMetrics().height() + 4);
    updateGeometries();
    viewport()->update();
}

void UrlListView::changeEvent(QEvent* event) {
    QAbstractItemView::changeEvent(event);
    if (event->type() == QEvent::FontChange) fitRowHeight();
}

void UrlListView::focusInEvent(QFocusEvent* event) {
    // Where gaining the focus makes a first entry current, that change has
    // announced it already.
    const bool hadCurrent = currentIndex().isValid();
    QAbstractItemView::focusInEvent(event);
    if (hadCurrent) announceCurrentEntry(*this);
}

void UrlListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QAbstractItemView::currentChanged(current, previous);
    announceCurrentEntry(*this);
}

void UrlListView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    QAbstractItemView::selectionChanged(selected, deselected);
    announceSelection(*this, selected, deselected);
}

int UrlListView::topRow() const { return verticalScrollBar()->value(); }

int UrlListView::visibleRows() const { return std::max(1, viewport()->height() / rowHeight_); }

int UrlListView::contentWidth() const { return header_->length(); }

int UrlListView::selectedPosition() const {
    const QModelIndex i = currentIndex();
    if (!i.isValid() || !selectionModel()->isRowSelected(i.row(), {})) return 0;
    return i.row() + 1;
}

void UrlListView::selectPosition(int position) {
    model_.utf8(position);  // range check
    const QModelIndex i = model_.index(position - 1, 0);
    // Selecting does not scroll; the commands scroll where they mean to.
    const bool scrolls = hasAutoScroll();
    setAutoScroll(false);
    selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    setAutoScroll(scrolls);
}

void UrlListView::scrollToPosition(int position) {
    model_.utf8(position);  // range check
    scrollTo(model_.index(position - 1, 0));
}

int UrlListView::positionAt(const QPoint& point) const {
    const QModelIndex i = indexAt(point);
    return i.isValid() ? i.row() + 1 : 0;
}

QModelIndex UrlListView::indexAt(const QPoint& point) const {
    if (point.y() < 0) return {};
    const qint64 row = topRow() + point.y() / rowHeight_;
    if (row >= model_.count()) return {};
    const int column = header_->logicalIndexAt(point.x());
    if (column < 0) return {};
    return model_.index(static_cast<int>(row), column);
}

QRect UrlListView::visualRect(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != &model_) return {};
    const qint64 y = static_cast<qint64>(index.row() - topRow()) * rowHeight_;
    if (y < -(1 << 30) || y > (1 << 30)) return {};
    return {header_->sectionViewportPosition(index.column()), static_cast<int>(y), header_->sectionSize(index.column()),
            rowHeight_};
}

void UrlListView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid()) return;
    const int row = index.row();
    const int rows = visibleRows();
    QScrollBar* bar = verticalScrollBar();
    switch (hint) {
        case PositionAtTop: bar->setValue(row); break;
        case PositionAtBottom: bar->setValue(row - rows + 1); break;
        case PositionAtCenter: bar->setValue(row - rows / 2); break;
        case EnsureVisible:
            if (row < topRow())
                bar->setValue(row);
            else if (row >= topRow() + rows)
                bar->setValue(row - rows + 1);
            break;
    }
}

QModelIndex UrlListView::moveCursor(CursorAction action, Qt::KeyboardModifiers) {
    const int count = model_.count();
    if (count == 0) return {};
    const QModelIndex current = currentIndex();
    if (!current.isValid()) return model_.index(0, 0);
    int row = current.row();
    switch (action) {
        case MoveUp:
        case MovePrevious: row -= 1; break;
        case MoveDown:
        case MoveNext: row += 1; break;
        case MovePageUp: row -= visibleRows(); break;
        case MovePageDown: row += visibleRows(); break;
        case MoveHome: row = 0; break;
        case MoveEnd: row = count - 1; break;
        default: break;
    }
    return model_.index(std::clamp(row, 0, count - 1), 0);
}

int UrlListView::horizontalOffset() const { return horizontalScrollBar()->value(); }

int UrlListView::verticalOffset() const { return topRow() * rowHeight_; }

bool UrlListView::isIndexHidden(const QModelIndex&) const { return false; }

void UrlListView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags flags) {
    const QRect r = rect.normalized();
    const int count = model_.count();
    const qint64 first = topRow() + std::max(0, r.top()) / rowHeight_;
    const qint64 last = std::min<qint64>(count - 1, topRow() + std::max(0, r.bottom()) / rowHeight_);
    if (count == 0 || first > last || r.bottom() < 0) {
        selectionModel()->select(QItemSelection(), flags);
        return;
    }
    selectionModel()->select(
        QItemSelection(model_.index(static_cast<int>(first), 0), model_.index(static_cast<int>(last), 0)), flags);
}

QRegion UrlListView::visualRegionForSelection(const QItemSelection& selection) const {
    QRegion region;
    const int top = topRow();
    const int bottom = top + visibleRows();
    for (const QItemSelectionRange& range : selection) {
        const int first = std::max(range.top(), top);
        const int last = std::min(range.bottom(), bottom);
        if (first > last) continue;
        const QRect a = visualRect(model_.index(first, 0));
        const QRect b = visualRect(model_.index(last, 0));
        region += QRect(0, a.top(), viewport()->width(), b.bottom() - a.top() + 1);
    }
    return region;
}

void UrlListView::updateGeometries() {
    const int headerHeight = header_->isHidden() ? 0 : header_->sizeHint().height();
    setViewportMargins(0, headerHeight, 0, 0);
    const QRect area = viewport()->geometry();
    header_->setGeometry(area.left(), area.top() - headerHeight, area.width(), headerHeight);

    const int rows = visibleRows();
    QScrollBar* vertical = verticalScrollBar();
    vertical->setRange(0, std::max(0, model_.count() - rows));
    vertical->setPageStep(rows);
    vertical->setSingleStep(1);
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setRange(0, std::max(0, contentWidth() - viewport()->width()));
    horizontal->setPageStep(viewport()->width());
    horizontal->setSingleStep(20);
    header_->setOffset(horizontal->value());
    QAbstractItemView::updateGeometries();
}

void UrlListView::scrollContentsBy(int, int) {
    header_->setOffset(horizontalScrollBar()->value());
    viewport()->update();
}

void UrlListView::rowsInserted(const QModelIndex& parent, int start, int end) {
    QAbstractItemView::rowsInserted(parent, start, end);
    updateGeometries();
    viewport()->update();
}

void UrlListView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QModelIndex current = currentIndex();
    const int count = model_.count();
    const int last = std::min(count - 1, topRow() + visibleRows());
    for (int row = topRow(); row <= last; ++row) {
        const QModelIndex index = model_.index(row, 0);
        QStyleOptionViewItem item = option;
        item.rect = visualRect(index);
        item.state |= QStyle::State_Enabled;
        if (selectionModel()->isSelected(index)) item.state |= QStyle::State_Selected;
        if (index == current && hasFocus()) item.state |= QStyle::State_HasFocus;
        itemDelegate()->paint(&painter, item, index);
    }
}

}  // namespace qf
