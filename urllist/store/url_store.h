#pragma once
// The URL list's entries: an ordered sequence of texts. Positions are 1-based;
// an operation given a position out of range fails (qf::Failure "Index out of
// bounds"), for the calling handler's trap to report. No Qt: the window shows a
// store through its table model (url_list_model.h), the command line reads one
// as it is.
//
// A list can hold a million entries, so the texts are not kept as one string
// object each: they live as UTF-8 bytes in large blocks, and each entry is a
// 16-byte reference into a block. A whole file read by the text file reader is
// adopted as one block, its lines referenced where they stand.
//
// Threads: a store belongs to the thread that made it.

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

// Told around every change of a store, once the change is sure to succeed
// (checked, and room made): a view's model turns these into its signals.
class UrlStoreWatcher {
public:
    virtual ~UrlStoreWatcher() = default;
    virtual void aboutToInsert(int /*first*/, int /*last*/) {}
    virtual void inserted() {}
    virtual void aboutToRemove(int /*position*/) {}
    virtual void removed() {}
    // Several entries at once (ascending positions, no repeats).
    virtual void aboutToRemovePositions(const std::vector<int>& /*ascending*/) {}
    virtual void removedPositions() {}
    virtual void aboutToClear() {}
    virtual void cleared() {}
    virtual void changed(int /*position*/) {}
};

class UrlStore {
public:
    // A text of an entry: UTF-8 bytes held elsewhere.
    struct Span {
        const char* data;
        std::uint32_t size;
        std::string_view view() const { return {data, size}; }
    };

    UrlStore();
    ~UrlStore();
    UrlStore(const UrlStore&) = delete;
    UrlStore& operator=(const UrlStore&) = delete;

    // Told of every change from now on (none: nobody is).
    void setWatcher(UrlStoreWatcher* watcher) { watcher_ = watcher ? watcher : &quiet_; }

    int count() const { return static_cast<int>(entries_.size()); }
    std::string_view utf8(int position) const;
    void setUtf8(int position, std::string_view text);
    void appendUtf8(std::string_view text) { insertUtf8(count() + 1, text); }
    void insertUtf8(int position, std::string_view text);  // 1 .. count + 1
    void remove(int position);
    void clear();

    // Appends one entry per span, in order, as one insertion. Every span lies
    // inside the block, which the store takes and keeps as long as any entry
    // refers to it.
    void appendBlock(TextBlock block, std::size_t blockSize, std::vector<Span>&& spans);

    // Removes the entries at the given positions (ascending, no repeats) in one
    // pass. The result equals removing them one by one, highest first; entries
    // that stay keep their order.
    void removePositions(const std::vector<int>& ascending);

    // Exchanges the texts of two entries.
    void exchangeTexts(int a, int b);

    // Bytes held for entries' texts (for memory checks).
    std::size_t storedBytes() const;

private:
    class Arena;

    void check(int position, int last) const;
    Span store(std::string_view text);
    void compactIfWasteful();

    GapVector<Span> entries_;
    std::unique_ptr<Arena> arena_;
    std::size_t live_ = 0;  // bytes of all entries' texts
    UrlStoreWatcher* watcher_ = nullptr;
    UrlStoreWatcher quiet_;  // when no one watches
};

}  // namespace qf
