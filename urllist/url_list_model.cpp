#include "url_list_model.h"

#include "base/failure.h"

namespace qf {

UrlListModel::UrlListModel(QObject* parent) : QAbstractTableModel(parent) {}

void UrlListModel::check(int position, int last) const {
    if (position < 1 || position > last) throw Failure(failure_text::kIndexOutOfBounds);
}

int UrlListModel::count() const { return static_cast<int>(entries_.size()); }

QString UrlListModel::text(int position) const {
    check(position, count());
    return entries_[static_cast<std::size_t>(position - 1)];
}

void UrlListModel::setText(int position, const QString& text) {
    check(position, count());
    entries_[static_cast<std::size_t>(position - 1)] = text;
    const QModelIndex i = index(position - 1, 0);
    emit dataChanged(i, i, {Qt::DisplayRole});
}

void UrlListModel::append(const QString& text) { insert(count() + 1, text); }

void UrlListModel::insert(int position, const QString& text) {
    check(position, count() + 1);
    beginInsertRows({}, position - 1, position - 1);
    entries_.insert(entries_.begin() + (position - 1), text);
    endInsertRows();
}

void UrlListModel::remove(int position) {
    check(position, count());
    beginRemoveRows({}, position - 1, position - 1);
    entries_.erase(entries_.begin() + (position - 1));
    endRemoveRows();
}

void UrlListModel::clear() {
    beginResetModel();
    entries_.clear();
    entries_.shrink_to_fit();
    endResetModel();
}

void UrlListModel::addColumn(const QString& header) {
    const int c = static_cast<int>(headers_.size());
    beginInsertColumns({}, c, c);
    headers_.push_back(header);
    endInsertColumns();
}

int UrlListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count(); }

int UrlListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QVariant UrlListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() != 0 || index.row() >= count()) return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole || role == Qt::EditRole)
        return entries_[static_cast<std::size_t>(index.row())];
    return {};
}

QVariant UrlListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < headers_.size())
        return headers_[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags UrlListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

}  // namespace qf
