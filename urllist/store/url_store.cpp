#include "url_store.h"

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
// A text of an entry cannot be longer than the window's texts can hold.
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

// Blocks of bytes that entries' texts point into. Blocks never move or shrink
// while they are held, so a text stays where it was stored until the arena is
// cleared or rebuilt.
class UrlStore::Arena {
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

UrlStore::UrlStore() : arena_(std::make_unique<Arena>()), watcher_(&quiet_) {}

UrlStore::~UrlStore() = default;

void UrlStore::check(int position, int last) const {
    if (position < 1 || position > last) throw Failure(failure_text::kIndexOutOfBounds);
}

std::string_view UrlStore::utf8(int position) const {
    check(position, count());
    return entries_[static_cast<std::size_t>(position - 1)].view();
}

UrlStore::Span UrlStore::store(std::string_view text) {
    if (text.size() > kMaxText) throw Failure(failure_text::kOutOfMemory);
    return {arena_->copy(text), static_cast<std::uint32_t>(text.size())};
}

// Rebuilds the arena when most of what it holds belongs to no entry any more
// (after removals and replaced texts).
void UrlStore::compactIfWasteful() {
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

void UrlStore::setUtf8(int position, std::string_view text) {
    check(position, count());
    Span& e = entries_[static_cast<std::size_t>(position - 1)];
    const Span replacement = store(text);
    live_ = live_ - e.size + replacement.size;
    e = replacement;
    watcher_->changed(position);
    compactIfWasteful();
}

void UrlStore::exchangeTexts(int a, int b) {
    check(a, count());
    check(b, count());
    std::swap(entries_[static_cast<std::size_t>(a - 1)], entries_[static_cast<std::size_t>(b - 1)]);
    watcher_->changed(a);
    watcher_->changed(b);
}

void UrlStore::insertUtf8(int position, std::string_view text) {
    check(position, count() + 1);
    if (count() == INT32_MAX) throw Failure(failure_text::kOutOfMemory);
    const Span e = store(text);
    entries_.reserve(1);  // room is made before anything is announced
    watcher_->aboutToInsert(position, position);
    entries_.insert(static_cast<std::size_t>(position - 1), e);
    live_ += e.size;
    watcher_->inserted();
}

void UrlStore::appendBlock(TextBlock block, std::size_t blockSize, std::vector<Span>&& spans) {
    if (spans.empty()) return;
    if (spans.size() > static_cast<std::size_t>(INT32_MAX - count())) throw Failure(failure_text::kOutOfMemory);
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
    watcher_->aboutToInsert(count() + 1, count() + static_cast<int>(spans.size()));
    entries_.append(std::move(spans));
    live_ += bytes;
    watcher_->inserted();
}

void UrlStore::remove(int position) {
    check(position, count());
    watcher_->aboutToRemove(position);
    live_ -= entries_[static_cast<std::size_t>(position - 1)].size;
    entries_.erase(static_cast<std::size_t>(position - 1));
    watcher_->removed();
    compactIfWasteful();
}

void UrlStore::removePositions(const std::vector<int>& ascending) {
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
    watcher_->aboutToRemovePositions(ascending);
    std::size_t next = 0;
    entries_.keepIf([&](const Span& e, std::size_t k) {
        if (next < ascending.size() && static_cast<std::size_t>(ascending[next]) == k + 1) {
            ++next;
            live_ -= e.size;
            return false;
        }
        return true;
    });
    watcher_->removedPositions();
    compactIfWasteful();
}

void UrlStore::clear() {
    watcher_->aboutToClear();
    entries_.clear();
    watcher_->cleared();
    compactIfWasteful();
}

std::size_t UrlStore::storedBytes() const { return arena_->held() + entries_.capacity() * sizeof(Span); }

}  // namespace qf
