#pragma once
// The URL list as the window's list control shows it: a table model of one
// column over the entries' store (store/url_store.h), which holds them and
// nowhere else. Every change of the store reaches the view as the model's signals.

#include <QAbstractTableModel>
#include <QString>
#include <cstddef>
#include <string_view>
#include <vector>

#include "urllist/store/url_store.h"

namespace qf {

// A UTF-8 text as a QString. A byte order mark at the start is a character of
// the text like any other and is kept.
QString utf8ToQString(std::string_view text);

class UrlListModel : public QAbstractTableModel, private UrlStoreWatcher {
    Q_OBJECT
public:
    explicit UrlListModel(QObject* parent = nullptr);
    ~UrlListModel() override;

    // The entries (what the text file reader appends to).
    UrlStore& store() { return store_; }
    const UrlStore& store() const { return store_; }

    // The list's operations (see UrlStore), on QString texts too. Entries that
    // stay keep their selection and their persistent indexes.
    using Span = UrlStore::Span;
    int count() const { return store_.count(); }
    QString text(int position) const;
    void setText(int position, const QString& text);
    void append(const QString& text);
    void insert(int position, const QString& text);  // 1 .. count + 1
    void remove(int position) { store_.remove(position); }
    void clear() { store_.clear(); }
    std::string_view utf8(int position) const { return store_.utf8(position); }
    void appendUtf8(std::string_view text) { store_.appendUtf8(text); }
    void insertUtf8(int position, std::string_view text) { store_.insertUtf8(position, text); }
    void appendBlock(TextBlock block, std::size_t blockSize, std::vector<Span>&& spans) {
        store_.appendBlock(std::move(block), blockSize, std::move(spans));
    }
    void removePositions(const std::vector<int>& ascending) { store_.removePositions(ascending); }
    void exchangeTexts(int a, int b) { store_.exchangeTexts(a, b); }

    // Longest text a row shows; longer texts are cut for display only.
    static constexpr int kDisplayLimit = 4096;

    // The report view's columns: the window adds its one column at start.
    void addColumn(const QString& header);

    // Bytes held for entries' texts (for memory checks).
    std::size_t storedBytes() const { return store_.storedBytes(); }

    // QAbstractItemModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    // UrlStoreWatcher: the store's changes as the model's signals.
    void aboutToInsert(int first, int last) override;
    void inserted() override;
    void aboutToRemove(int position) override;
    void removed() override;
    void aboutToRemovePositions(const std::vector<int>& ascending) override;
    void removedPositions() override;
    void aboutToClear() override;
    void cleared() override;
    void changed(int position) override;

    UrlStore store_;
    QStringList headers_;
};

}  // namespace qf
