#include "url_list_model.h"

#include <QStringDecoder>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "base/failure.h"

namespace qf {

namespace {
constexpr std::size_t kBlockSize = std::size_t{1} << 20;
// Texts at least this long get a block of their own.
constexpr std::size_t kOwnBlock = kBlockSize / 8;
// A text of an entry cannot be longer than a QString can hold.
constexpr std::size_t kMaxText = 0x7fffffff;
const char kEmpty[] = "";
}  // namespace

void TextBlockFree::operator()(char* bytes) const noexcept { std::free(bytes); }

TextBlock allocateTextBlock(std::size_t size) {
    void* bytes = nullptr;
#if defined(__linux__)
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    if (size >= 4 * kHugePage) {
        const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
        bytes = std::aligned_alloc(kHugePage, rounded);
        if (bytes) madvise(bytes, rounded, MADV_HUGEPAGE);  // advice only: failing changes nothing
    }
#endif
    if (!bytes) bytes = std::malloc(size ? size : 1);
    if (!bytes) throw std::bad_alloc();
    return TextBlock(static_cast<char*>(bytes));
}

QString utf8ToQString(std::string_view text) {
    const auto size = static_cast<qsizetype>(text.size());
    if (!text.starts_with("\xEF\xBB\xBF")) return QString::fromUtf8(text.data(), size);
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(text.data(), size));
}

// Blocks of bytes that entries' texts point into. Blocks never move or shrink
// while they are held, so a text stays where it was stored until the arena is
// cleared or rebuilt.
class UrlListModel::Arena {
public:
    const char* copy(std::string_view text) {
        if (text.empty()) return kEmpty;
        if (text.size() >= kOwnBlock) {
            TextBlock block = allocateTextBlock(text.size());
            std::memcpy(block.get(), text.data(), text.size());
            return adopt(std::move(block), text.size());
        }
        if (left_ < text.size()) {
            blocks_.push_back(allocateTextBlock(kBlockSize));
            tail_ = blocks_.back().get();
            left_ = kBlockSize;
            held_ += kBlockSize;
        }
        char* at = tail_;
        std::memcpy(at, text.data(), text.size());
        tail_ += text.size();
        left_ -= text.size();
        return at;
    }

    const char* adopt(TextBlock block, std::size_t size) {
        const char* at = block.get();
        blocks_.push_back(std::move(block));
        held_ += size;
        return at;
    }

    std::size_t held() const { return held_; }

private:
    std::vector<TextBlock> blocks_;
    char* tail_ = nullptr;
    std::size_t left_ = 0;
    std::size_t held_ = 0;
};

UrlListModel::UrlListModel(QObject* parent) : QAbstractTableModel(parent), arena_(std::make_unique<Arena>()) {}

UrlListModel::~UrlListModel() = default;

void UrlListModel::check(int position, int last) const {
    if (position < 1 || position > last) throw Failure(failure_text::kIndexOutOfBounds);
}

int UrlListModel::count() const { return static_cast<int>(entries_.size()); }

std::string_view UrlListModel::utf8(int position) const {
    check(position, count());
    return entries_[static_cast<std::size_t>(position - 1)].view();
}

QString UrlListModel::text(int position) const { return utf8ToQString(utf8(position)); }

UrlListModel::Entry UrlListModel::store(std::string_view text) {
    if (text.size() > kMaxText) throw Failure("Out of memory");
    return {arena_->copy(text), static_cast<std::uint32_t>(text.size())};
}

// Rebuilds the arena when most of what it holds belongs to no entry any more
// (after removals and replaced texts).
void UrlListModel::compactIfWasteful() {
    if (entries_.empty()) {
        arena_ = std::make_unique<Arena>();
        live_ = 0;
        return;
    }
    if (arena_->held() <= 2 * live_ + 4 * kBlockSize) return;
    // Nothing changes until the copy is complete, so running out of memory
    // here leaves the list as it was.
    auto fresh = std::make_unique<Arena>();
    std::vector<const char*> moved;
    try {
        moved.reserve(entries_.size());
        for (std::size_t k = 0; k < entries_.size(); ++k) moved.push_back(fresh->copy(entries_[k].view()));
    } catch (const std::bad_alloc&) {
        return;
    }
    for (std::size_t k = 0; k < entries_.size(); ++k) entries_[k].data = moved[k];
    arena_ = std::move(fresh);
}

void UrlListModel::setText(int position, const QString& text) {
    check(position, count());
    const QByteArray bytes = text.toUtf8();
    Entry& e = entries_[static_cast<std::size_t>(position - 1)];
    const Entry replacement = store({bytes.constData(), static_cast<std::size_t>(bytes.size())});
    live_ = live_ - e.size + replacement.size;
    e = replacement;
    const QModelIndex i = index(position - 1, 0);
    emit dataChanged(i, i, {Qt::DisplayRole});
    compactIfWasteful();
}

void UrlListModel::exchangeTexts(int a, int b) {
    check(a, count());
    check(b, count());
    std::swap(entries_[static_cast<std::size_t>(a - 1)], entries_[static_cast<std::size_t>(b - 1)]);
    const QModelIndex ia = index(a - 1, 0);
    const QModelIndex ib = index(b - 1, 0);
    emit dataChanged(ia, ia, {Qt::DisplayRole});
    emit dataChanged(ib, ib, {Qt::DisplayRole});
}

void UrlListModel::append(const QString& text) { insert(count() + 1, text); }

void UrlListModel::insert(int position, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    insertUtf8(position, {bytes.constData(), static_cast<std::size_t>(bytes.size())});
}

void UrlListModel::appendUtf8(std::string_view text) { insertUtf8(count() + 1, text); }

void UrlListModel::insertUtf8(int position, std::string_view text) {
    check(position, count() + 1);
    if (count() == INT32_MAX) throw Failure("Out of memory");
    const Entry e = store(text);
    entries_.reserve(1);  // room is made before anything is announced
    beginInsertRows({}, position - 1, position - 1);
    entries_.insert(static_cast<std::size_t>(position - 1), e);
    live_ += e.size;
    endInsertRows();
}

void UrlListModel::appendBlock(TextBlock block, std::size_t blockSize, std::vector<Span>&& spans) {
    if (spans.empty()) return;
    if (spans.size() > static_cast<std::size_t>(INT32_MAX - count())) throw Failure("Out of memory");
    const char* const begin = block.get();
    std::size_t bytes = 0;
    for (const Span& t : spans) {
        if (t.data < begin || t.size > blockSize || t.data - begin > static_cast<std::ptrdiff_t>(blockSize - t.size))
            throw Failure(failure_text::kIndexOutOfBounds);
        bytes += t.size;
    }
    // Room is made before anything is announced.
    if (!entries_.empty()) entries_.reserve(spans.size());
    arena_->adopt(std::move(block), blockSize);
    beginInsertRows({}, count(), count() + static_cast<int>(spans.size()) - 1);
    entries_.append(std::move(spans));
    live_ += bytes;
    endInsertRows();
}

void UrlListModel::remove(int position) {
    check(position, count());
    beginRemoveRows({}, position - 1, position - 1);
    live_ -= entries_[static_cast<std::size_t>(position - 1)].size;
    entries_.erase(static_cast<std::size_t>(position - 1));
    endRemoveRows();
    compactIfWasteful();
}

void UrlListModel::removePositions(const std::vector<int>& ascending) {
    if (ascending.empty()) return;
    // Every position is checked before anything changes.
    for (std::size_t k = 0; k < ascending.size(); ++k) {
        check(ascending[k], count());
        if (k > 0 && ascending[k] <= ascending[k - 1]) throw Failure(failure_text::kInvalidArgument);
    }
    if (ascending.size() == 1) {
        remove(ascending.front());
        return;
    }
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
    std::size_t next = 0;
    entries_.keepIf([&](const Entry& e, std::size_t k) {
        if (next < ascending.size() && static_cast<std::size_t>(ascending[next]) == k + 1) {
            ++next;
            live_ -= e.size;
            return false;
        }
        return true;
    });
    emit layoutChanged();
    compactIfWasteful();
}

void UrlListModel::clear() {
    beginResetModel();
    entries_.clear();
    endResetModel();
    compactIfWasteful();
}

std::size_t UrlListModel::storedBytes() const { return arena_->held() + entries_.capacity() * sizeof(Entry); }

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
    std::string_view t = entries_[static_cast<std::size_t>(index.row())].view();
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
