#include "url_list_model.h"

#include <QStringDecoder>
#include <algorithm>

namespace qf {

QString utf8ToQString(std::string_view text) {
    const auto size = static_cast<qsizetype>(text.size());
    if (!text.starts_with("\xEF\xBB\xBF")) return QString::fromUtf8(text.data(), size);
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(text.data(), size));
}

UrlListModel::UrlListModel(QObject* parent) : QAbstractTableModel(parent) { store_.setWatcher(this); }

UrlListModel::~UrlListModel() { store_.setWatcher(nullptr); }

QString UrlListModel::text(int position) const { return utf8ToQString(utf8(position)); }

void UrlListModel::setText(int position, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    store_.setUtf8(position, {bytes.constData(), static_cast<std::size_t>(bytes.size())});
}

void UrlListModel::append(const QString& text) { insert(count() + 1, text); }

void UrlListModel::insert(int position, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    insertUtf8(position, {bytes.constData(), static_cast<std::size_t>(bytes.size())});
}

void UrlListModel::aboutToInsert(int first, int last) { beginInsertRows({}, first - 1, last - 1); }
void UrlListModel::inserted() { endInsertRows(); }
void UrlListModel::aboutToRemove(int position) { beginRemoveRows({}, position - 1, position - 1); }
void UrlListModel::removed() { endRemoveRows(); }
void UrlListModel::aboutToClear() { beginResetModel(); }
void UrlListModel::cleared() { endResetModel(); }

void UrlListModel::changed(int position) {
    const QModelIndex i = index(position - 1, 0);
    emit dataChanged(i, i, {Qt::DisplayRole});
}

// The persistent indexes of the entries that stay move up by the number of
// removed entries above them; those of removed entries become invalid.
void UrlListModel::aboutToRemovePositions(const std::vector<int>& ascending) {
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& i : before) {
        const int position = i.row() + 1;
        const auto at = std::lower_bound(ascending.begin(), ascending.end(), position);
        if (at != ascending.end() && *at == position)
            after.append(QModelIndex());
        else
            after.append(index(i.row() - static_cast<int>(at - ascending.begin()), i.column()));
    }
    changePersistentIndexList(before, after);
}

void UrlListModel::removedPositions() { emit layoutChanged(); }

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
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
    std::string_view t = store_.utf8(index.row() + 1);
    // A row shows the start of a very long text; four bytes per character at
    // most, so the cut bytes always give at least the characters shown.
    const bool cut = t.size() > 4 * static_cast<std::size_t>(kDisplayLimit);
    if (cut) t = t.substr(0, 4 * static_cast<std::size_t>(kDisplayLimit));
    QString s = utf8ToQString(t);
    if (cut || s.size() > kDisplayLimit) s.truncate(kDisplayLimit);
    return s;
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
