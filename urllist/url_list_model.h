#pragma once
// The URL list: an ordered sequence of texts, held by the list control's item
// model and nowhere else. Positions are 1-based; an operation given a position
// out of range fails (qf::Failure "Index out of bounds"), for the calling
// handler's trap to report.

#include <QAbstractTableModel>
#include <QString>
#include <vector>

namespace qf {

class UrlListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit UrlListModel(QObject* parent = nullptr);

    // The list's operations.
    int count() const;
    QString text(int position) const;
    void setText(int position, const QString& text);
    void append(const QString& text);
    void insert(int position, const QString& text);  // 1 .. count + 1
    void remove(int position);
    void clear();

    // The report view's columns: the window adds its one column at start.
    void addColumn(const QString& header);

    // QAbstractItemModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void check(int position, int last) const;
    std::vector<QString> entries_;
    QStringList headers_;
};

}  // namespace qf
