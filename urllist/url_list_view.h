#pragma once
// ListView1: the list control that shows and holds the URL list, in report view
// with one column. Its model is the list's only copy.

#include <QTreeView>

#include "url_list_model.h"

namespace qf {

class UrlListView : public QTreeView {
    Q_OBJECT
public:
    explicit UrlListView(QWidget* parent = nullptr);

    UrlListModel& list() { return model_; }
    const UrlListModel& list() const { return model_; }

    // The selected entry's position, 0 when none.
    int selectedPosition() const;
    void selectPosition(int position);
    void scrollToPosition(int position);
    // The entry under a point in the list's own coordinates, 0 when none.
    int positionAt(const QPoint& point) const;

private:
    UrlListModel model_;
};

}  // namespace qf
