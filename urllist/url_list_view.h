#pragma once
// ListView1: the list control that shows and holds the URL list, in report view
// with one column. Its model is the list's only copy.
//
// Rows have one fixed height, so a list of a million entries scrolls, inserts
// and removes without the view keeping anything per row.

#include <QHeaderView>
#include <QTableView>

#include "url_list_model.h"

namespace qf {

class UrlListView : public QTableView {
    Q_OBJECT
public:
    explicit UrlListView(QWidget* parent = nullptr);

    UrlListModel& list() { return model_; }
    const UrlListModel& list() const { return model_; }

    // The column header.
    QHeaderView* header() const { return horizontalHeader(); }

    // The selected entry's position, 0 when none.
    int selectedPosition() const;
    // Makes the entry the selected one, without scrolling.
    void selectPosition(int position);
    void scrollToPosition(int position);
    // The entry under a point in the list's own coordinates, 0 when none.
    int positionAt(const QPoint& point) const;

private:
    UrlListModel model_;
};

}  // namespace qf
