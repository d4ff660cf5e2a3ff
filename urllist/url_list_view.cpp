#include "url_list_view.h"

#include "base/failure.h"

namespace qf {

UrlListView::UrlListView(QWidget* parent) : QTableView(parent), model_(this) {
    setModel(&model_);
    setShowGrid(false);
    setWordWrap(false);
    setSortingEnabled(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

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

}  // namespace qf
