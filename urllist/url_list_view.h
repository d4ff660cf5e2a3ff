#pragma once
// The list control that shows and holds the URL list, in report view
// with one column under a column header. Its model is the list's only copy.
//
// Every row has the same height, so the view finds rows by arithmetic and keeps
// nothing per row: a list of a million entries scrolls, inserts and removes as
// fast as a short one.
//
// Screen readers see it as a list of its entries (url_list_accessibility.h).

#include <QAbstractItemView>
#include <QHeaderView>

#include "url_list_model.h"

namespace qf {

class UrlListView : public QAbstractItemView {
    Q_OBJECT
public:
    explicit UrlListView(QWidget* parent = nullptr);

    UrlListModel& list() { return model_; }
    const UrlListModel& list() const { return model_; }

    // The column header.
    QHeaderView* header() const { return header_; }
    void setColumnWidth(int column, int width);
    int columnWidth(int column) const;
    int rowHeight() const { return rowHeight_; }

    // The selected entry's position, 0 when none.
    int selectedPosition() const;
    // Makes the entry the selected one, without scrolling.
    void selectPosition(int position);
    void scrollToPosition(int position);
    // The entry under a point in the list's own coordinates, 0 when none.
    int positionAt(const QPoint& point) const;

    // QAbstractItemView
    QModelIndex indexAt(const QPoint& point) const override;
    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex& index) const override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags flags) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    int topRow() const;
    int visibleRows() const;  // rows that fit whole in the viewport, at least 1
    int contentWidth() const;
    void fitRowHeight();

    UrlListModel model_;
    QHeaderView* header_;
    int rowHeight_ = 18;
};

}  // namespace qf
