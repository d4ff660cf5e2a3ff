#pragma once
// The URL list: an ordered sequence of texts, held by the list control's item
// model and nowhere else. Positions are 1-based; an operation given a position
// out of range fails (qf::Failure "Index out of bounds"), for the calling
// handler's trap to report.
//
// A list can hold a million entries, so the texts are not kept as one string
// object each: they live as UTF-8 bytes in large blocks, and each entry is a
// 16-byte reference into a block. A whole file read by the text file reader is
// adopted as one block, its lines referenced where they stand.

#include <QAbstractTableModel>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "gap_vector.h"

namespace qf {

// Memory that holds entries' texts. Large blocks are asked to sit on huge
// pages where the system offers them, which makes filling them much cheaper.
struct TextBlockFree {
    void operator()(char* bytes) const noexcept;
};
using TextBlock = std::unique_ptr<char[], TextBlockFree>;
// Throws std::bad_alloc when there is no memory.
TextBlock allocateTextBlock(std::size_t size);

// A UTF-8 text as a QString. A byte order mark at the start is a character of
// the text like any other and is kept.
QString utf8ToQString(std::string_view text);

class UrlListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit UrlListModel(QObject* parent = nullptr);
    ~UrlListModel() override;

    // The list's operations.
    int count() const;
    QString text(int position) const;
    void setText(int position, const QString& text);
    void append(const QString& text);
    void insert(int position, const QString& text);  // 1 .. count + 1
    void remove(int position);
    void clear();

    // The same on UTF-8 texts, without a detour through QString.
    std::string_view utf8(int position) const;
    void appendUtf8(std::string_view text);
    void insertUtf8(int position, std::string_view text);

    // A text of an entry: UTF-8 bytes held elsewhere.
    struct Span {
        const char* data;
        std::uint32_t size;
        std::string_view view() const { return {data, size}; }
    };
    // Appends one entry per span, in order, as one insertion. Every span lies
    // inside the block, which the model takes and keeps as long as any entry
    // refers to it.
    void appendBlock(TextBlock block, std::size_t blockSize, std::vector<Span>&& spans);

    // Removes the entries at the given positions (ascending, no repeats) in one
    // pass. The result equals removing them one by one, highest first; entries
    // that stay keep their order, their selection and their persistent indexes.
    void removePositions(const std::vector<int>& ascending);

    // Exchanges the texts of two entries.
    void exchangeTexts(int a, int b);

    // Longest text a row shows; longer texts are cut for display only.
    static constexpr int kDisplayLimit = 4096;

    // The report view's columns: the window adds its one column at start.
    void addColumn(const QString& header);

    // Bytes held for entries' texts (for memory checks).
    std::size_t storedBytes() const;

    // QAbstractItemModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    using Entry = Span;
    class Arena;

    void check(int position, int last) const;
    Entry store(std::string_view text);
    void compactIfWasteful();

    GapVector<Entry> entries_;
    std::unique_ptr<Arena> arena_;
    std::size_t live_ = 0;  // bytes of all entries' texts
    QStringList headers_;
};

}  // namespace qf
