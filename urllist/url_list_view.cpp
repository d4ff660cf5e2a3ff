#include "url_list_view.h"

#include <QHeaderView>

#include "base/failure.h"

namespace qf {

UrlListView::UrlListView(QWidget* parent) : QTreeView(parent), model_(this) {
    setModel(&model_);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);  // keeps a million entries fast
    setSortingEnabled(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
}

int UrlListView::selectedPosition() const {
    const QModelIndex i = currentIndex();
    if (!i.isValid() || !selectionModel()->isRowSelected(i.row(), {})) return 0;
    return i.row() + 1;
}

void UrlListView::selectPosition(int position) {
    model_.text(position);  // range check
    const QModelIndex i = model_.index(position - 1, 0);
    selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void UrlListView::scrollToPosition(int position) {
    model_.text(position);  // range check
    scrollTo(model_.index(position - 1, 0));
}

int UrlListView::positionAt(const QPoint& point) const {
    const QModelIndex i = indexAt(point);
    return i.isValid() ? i.row() + 1 : 0;
}

}  // namespace qf
