#include "url_list_accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHeaderView>
#include <QHash>
#include <QItemSelectionModel>
#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <utility>
#include <vector>

#include "url_list_view.h"

namespace qf {
namespace {

UrlListAccessibilitySink sink = nullptr;

// Whether anyone hears the list's announcements; working them out costs
// nothing otherwise.
bool listening() { return sink || QAccessible::isActive(); }

void tell(QAccessibleEvent& event) {
    if (sink)
        sink(&event);
    else
        QAccessible::updateAccessibility(&event);
}

// A part of the list that has no parts of its own: the column header or an entry.
class ListPartAccessible : public QAccessibleInterface {
public:
    explicit ListPartAccessible(UrlListView* view) : view_(view) {}

    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return view_ ? view_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return view_ ? QAccessible::queryAccessibleInterface(view_.data()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

protected:
    QPointer<UrlListView> view_;
};

// The list's column header ("URL(s)"), as the entries' cells name it.
class HeaderAccessible final : public ListPartAccessible {
public:
    using ListPartAccessible::ListPartAccessible;

    bool isValid() const override { return view_ != nullptr; }
    QAccessible::Role role() const override { return QAccessible::ColumnHeader; }
    void setText(QAccessible::Text, const QString&) override {}

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name || !view_) return {};
        return view_->list().headerData(0, Qt::Horizontal, Qt::DisplayRole).toString();
    }

    QRect rect() const override {
        if (!view_ || !view_->header()->isVisible()) return {};
        const QHeaderView* header = view_->header();
        const QRect r(header->sectionViewportPosition(0), 0, header->sectionSize(0), header->height());
        return {header->viewport()->mapToGlobal(r.topLeft()), r.size()};
    }

    QAccessible::State state() const override {
        QAccessible::State s;
        if (!view_)
            s.invalid = true;
        else if (!view_->isVisible())
            s.invisible = true;
        return s;
    }
};

// One entry of the list, known by its row. The list's accessible object moves
// the row along when entries are inserted or removed above it, and drops the
// entry's object when the entry goes.
class EntryAccessible final : public ListPartAccessible,
                              public QAccessibleActionInterface,
                              public QAccessibleTableCellInterface {
public:
    EntryAccessible(UrlListView* view, QAccessible::Id header, int row)
        : ListPartAccessible(view), model_(&view->list()), header_(header), row_(row) {}

    int row() const { return row_; }
    void moveTo(int row) { row_ = row; }
    const UrlListView* view() const { return view_; }

    bool isValid() const override { return view_ && model_ && row_ >= 0 && row_ < model_->count(); }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    void setText(QAccessible::Text, const QString&) override {}

    // The whole text, also where the row shows only the start of a long one.
    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name || !isValid()) return {};
        return model_->text(row_ + 1);
    }

    QRect rect() const override {
        if (!isValid()) return {};
        const QRect r = view_->visualRect(model_->index(row_, 0));
        if (r.isEmpty()) return {};
        return {view_->viewport()->mapToGlobal(r.topLeft()), r.size()};
    }

    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.selectable = true;
        s.focusable = true;
        if (!view_->isEnabled()) s.disabled = true;
        if (view_->selectionModel()->isRowSelected(row_, {})) s.selected = true;
        if (view_->hasFocus() && view_->currentIndex().row() == row_) s.focused = true;
        const QRect r = view_->visualRect(model_->index(row_, 0));
        if (!view_->isVisible()) s.invisible = true;
        if (!view_->isVisible() || r.isEmpty() || !view_->viewport()->rect().intersects(r)) s.offscreen = true;
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ActionInterface) return static_cast<QAccessibleActionInterface*>(this);
        if (type == QAccessible::TableCellInterface) return static_cast<QAccessibleTableCellInterface*>(this);
        return nullptr;
    }

    // As a cell of the list's one column, under the column header.
    bool isSelected() const override { return isValid() && view_->selectionModel()->isRowSelected(row_, {}); }
    QList<QAccessibleInterface*> columnHeaderCells() const override {
        QAccessibleInterface* header = QAccessible::accessibleInterface(header_);
        return header ? QList<QAccessibleInterface*>{header} : QList<QAccessibleInterface*>{};
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return 0; }
    int rowIndex() const override { return row_; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

    // Giving an entry the focus makes it the current and selected entry, as
    // moving to it with the keyboard does.
    QStringList actionNames() const override { return {setFocusAction()}; }
    void doAction(const QString& name) override {
        if (name != setFocusAction() || !isValid() || !view_->isEnabled()) return;
        view_->setFocus(Qt::OtherFocusReason);
        view_->setCurrentIndex(model_->index(row_, 0));
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<UrlListModel> model_;  // gone before the view is, while the view is destroyed
    QAccessible::Id header_;        // the list's column header
    int row_;
};

// The list control: one child per entry, in the list's order. It is also a
// table of one column, so that a reader finds the column header through it and
// through each entry.
class ListAccessible final : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit ListAccessible(UrlListView* view)
        : QAccessibleWidget(view, QAccessible::List),
          model_(&view->list()),
          header_(QAccessible::registerAccessibleInterface(new HeaderAccessible(view))) {
        UrlListModel* m = model_;
        QObject::connect(m, &QAbstractItemModel::rowsInserted, &watcher_,
                         [this](const QModelIndex&, int first, int last) { rowsInserted(first, last); });
        QObject::connect(m, &QAbstractItemModel::rowsRemoved, &watcher_,
                         [this](const QModelIndex&, int first, int last) { rowsRemoved(first, last); });
        QObject::connect(m, &QAbstractItemModel::rowsMoved, &watcher_, [this] {
            forgetEntries();
            announceReorder();
        });
        // Rows are renumbered as a whole: the entries' objects go before the
        // change, so that objects asked for while the change is announced
        // already carry the new rows.
        QObject::connect(m, &QAbstractItemModel::modelAboutToBeReset, &watcher_, [this] { forgetEntries(); });
        QObject::connect(m, &QAbstractItemModel::layoutAboutToBeChanged, &watcher_, [this] { forgetEntries(); });
        QObject::connect(m, &QAbstractItemModel::modelReset, &watcher_, [this] { announceReorder(); });
        QObject::connect(m, &QAbstractItemModel::layoutChanged, &watcher_, [this] { announceReorder(); });
        QObject::connect(
            m, &QAbstractItemModel::dataChanged, &watcher_,
            [this](const QModelIndex& from, const QModelIndex& to) { textsChanged(from.row(), to.row()); });
        QObject::connect(m, &QObject::destroyed, &watcher_, [this] { forgetEntries(); });
    }

    ~ListAccessible() override {
        forgetEntries();
        QAccessible::deleteAccessibleInterface(header_);
    }

    // The list's column header.
    QAccessibleInterface* columnHeader() const { return QAccessible::accessibleInterface(header_); }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableInterface) return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // The table of one column.
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override { return column == 0 ? child(row) : nullptr; }
    QString columnDescription(int column) const override {
        QAccessibleInterface* header = columnHeader();
        return column == 0 && header ? header->text(QAccessible::Name) : QString();
    }
    QString rowDescription(int) const override { return {}; }
    int columnCount() const override { return 1; }
    int rowCount() const override { return childCount(); }
    QList<int> selectedRows() const override {
        QList<int> rows;
        if (!model_) return rows;
        for (const QModelIndex& index : view()->selectionModel()->selectedRows()) rows << index.row();
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    int selectedRowCount() const override { return static_cast<int>(selectedRows().size()); }
    int selectedCellCount() const override { return selectedRowCount(); }
    QList<QAccessibleInterface*> selectedCells() const override {
        QList<QAccessibleInterface*> cells;
        for (const int row : selectedRows()) cells << child(row);
        return cells;
    }
    QList<int> selectedColumns() const override { return {}; }
    int selectedColumnCount() const override { return 0; }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override {
        return model_ && row >= 0 && row < model_->count() && view()->selectionModel()->isRowSelected(row, {});
    }
    // Selecting a row works as moving to it does: it becomes the one selected entry.
    bool selectRow(int row) override {
        if (!model_ || row < 0 || row >= model_->count() || !view()->isEnabled()) return false;
        view()->setCurrentIndex(model_->index(row, 0));
        return true;
    }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int row) override {
        if (!isRowSelected(row)) return false;
        view()->selectionModel()->select(model_->index(row, 0), QItemSelectionModel::Deselect);
        return true;
    }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override {}

    int childCount() const override { return model_ ? model_->count() : 0; }

    QAccessibleInterface* child(int index) const override {
        if (!model_ || index < 0 || index >= model_->count()) return nullptr;
        if (const auto known = entries_.constFind(index); known != entries_.cend()) {
            if (QAccessibleInterface* entry = QAccessible::accessibleInterface(*known)) return entry;
        }
        auto* entry = new EntryAccessible(view(), header_, index);
        entries_.insert(index, QAccessible::registerAccessibleInterface(entry));
        return entry;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto* entry = dynamic_cast<const EntryAccessible*>(child);
        if (!entry || entry->view() != view() || !entry->isValid()) return -1;
        return entry->row();
    }

    QAccessibleInterface* childAt(int x, int y) const override {
        if (!model_) return nullptr;
        const QWidget* viewport = view()->viewport();
        const QPoint at = viewport->mapFromGlobal(QPoint(x, y));
        if (!viewport->rect().contains(at)) return nullptr;
        const int position = view()->positionAt(at);
        return position > 0 ? child(position - 1) : nullptr;
    }

    QAccessibleInterface* focusChild() const override {
        if (model_ && view()->hasFocus()) {
            const QModelIndex current = view()->currentIndex();
            if (current.isValid()) return child(current.row());
        }
        return QAccessibleWidget::focusChild();
    }

private:
    UrlListView* view() const { return static_cast<UrlListView*>(widget()); }

    static EntryAccessible* entryOf(QAccessible::Id id) {
        return static_cast<EntryAccessible*>(QAccessible::accessibleInterface(id));
    }

    void forgetEntries() {
        const QHash<int, QAccessible::Id> gone = std::exchange(entries_, {});
        for (const QAccessible::Id id : gone) QAccessible::deleteAccessibleInterface(id);
    }

    void rowsInserted(int first, int last) {
        renumber(first, last - first + 1, first, first - 1);
        announceReorder();
    }

    void rowsRemoved(int first, int last) {
        renumber(last + 1, -(last - first + 1), first, last);
        announceReorder();
    }

    // The objects of entries in rows dropFirst .. dropLast go; those at and
    // after row `from` move by `by` rows. Nothing is done when all the objects
    // are above both, as when entries are added at the end.
    void renumber(int from, int by, int dropFirst, int dropLast) {
        const int lowest = std::min(from, dropFirst);
        if (std::none_of(entries_.keyBegin(), entries_.keyEnd(), [lowest](int row) { return row >= lowest; })) return;
        QHash<int, QAccessible::Id> kept;
        kept.reserve(entries_.size());
        std::vector<QAccessible::Id> gone;
        for (auto i = entries_.cbegin(); i != entries_.cend(); ++i) {
            EntryAccessible* entry = entryOf(i.value());
            if (!entry) continue;
            if (i.key() >= dropFirst && i.key() <= dropLast) {
                gone.push_back(i.value());
                continue;
            }
            const int row = i.key() >= from ? i.key() + by : i.key();
            entry->moveTo(row);
            kept.insert(row, i.value());
        }
        entries_ = std::move(kept);
        for (const QAccessible::Id id : gone) QAccessible::deleteAccessibleInterface(id);
    }

    // A tool has read only the entries it holds objects for; those are told.
    void textsChanged(int first, int last) {
        if (!listening()) return;
        std::vector<QAccessible::Id> changed;
        for (auto i = entries_.cbegin(); i != entries_.cend(); ++i)
            if (i.key() >= first && i.key() <= last) changed.push_back(i.value());
        for (const QAccessible::Id id : changed) {
            if (QAccessibleInterface* entry = QAccessible::accessibleInterface(id)) {
                QAccessibleEvent event(entry, QAccessible::NameChanged);
                tell(event);
            }
        }
    }

    void announceReorder() {
        if (!listening() || !model_) return;
        QAccessibleEvent event(view(), QAccessible::ObjectReorder);
        tell(event);
    }

    QPointer<UrlListModel> model_;
    QAccessible::Id header_;                       // the column header's object
    mutable QHash<int, QAccessible::Id> entries_;  // row -> the entry's object
    QObject watcher_;                              // holds the connections to the model for this object's life
};

QAccessibleInterface* makeListAccessible(const QString& className, QObject* object) {
    if (className != QLatin1String(UrlListView::staticMetaObject.className())) return nullptr;
    auto* view = qobject_cast<UrlListView*>(object);
    return view ? new ListAccessible(view) : nullptr;
}

int selectedRows(const QItemSelection& selection) {
    int rows = 0;
    for (const QItemSelectionRange& range : selection) rows += range.height();
    return rows;
}

void announce(UrlListView& view, QAccessible::Event type, int row) {
    QAccessibleEvent event(&view, type);
    event.setChild(row);
    tell(event);
}

}  // namespace

void installUrlListAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(makeListAccessible);
        return true;
    }();
    (void)installed;
}

void announceCurrentEntry(UrlListView& view) {
    if (!listening() || !view.hasFocus()) return;
    const QModelIndex current = view.currentIndex();
    if (current.isValid()) announce(view, QAccessible::Focus, current.row());
}

void announceSelection(UrlListView& view, const QItemSelection& selected, const QItemSelection& deselected) {
    if (!listening()) return;
    const int added = selectedRows(selected);
    const int removed = selectedRows(deselected);
    if (added == 1 && selectedRows(view.selectionModel()->selection()) == 1) {
        // The one selected entry.
        announce(view, QAccessible::Selection, selected.front().top());
    } else if (added == 1 && removed == 0) {
        announce(view, QAccessible::SelectionAdd, selected.front().top());
    } else if (added == 0 && removed == 1) {
        announce(view, QAccessible::SelectionRemove, deselected.front().top());
    } else if (added + removed > 0) {
        QAccessibleEvent event(&view, QAccessible::SelectionWithin);
        tell(event);
    }
}

void setUrlListAccessibilitySink(UrlListAccessibilitySink to) { sink = to; }

}  // namespace qf
