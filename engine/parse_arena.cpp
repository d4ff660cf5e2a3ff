#include "parse_arena.h"

#include <gumbo.h>

#include <algorithm>
#include <new>

namespace qf::engine {

namespace {

// Every block starts with the word before the pointer handed out: its size
// class, or kLarge. Blocks are multiples of kGrain and start 8 bytes past a
// kGrain boundary, so what is handed out is aligned like malloc's.
constexpr std::uint64_t kLarge = ~std::uint64_t{0};
constexpr std::size_t kHeader = sizeof(std::uint64_t);
constexpr std::size_t kLargestChunk = std::size_t{1} << 20;

std::uint64_t& headerOf(void* p) { return *(static_cast<std::uint64_t*>(p) - 1); }

// The parser is C: nothing may be thrown through it. Running out of memory in
// the middle of a parse ends the program, as it would with malloc's null.
void* arenaAllocate(void* arena, std::size_t size) noexcept { return static_cast<ParseArena*>(arena)->allocate(size); }
void arenaRelease(void* arena, void* p) noexcept { static_cast<ParseArena*>(arena)->release(p); }

}  // namespace

struct ParseArena::LargeBlock {
    LargeBlock* prev;
    LargeBlock* next;
    std::size_t size;
    std::uint64_t header;  // kLarge, right before the memory handed out
};

ParseArena::~ParseArena() {
    while (large_) {
        LargeBlock* next = large_->next;
        ::operator delete(large_);
        large_ = next;
    }
}

void ParseArena::useFor(GumboOptions& options) {
    options.allocator = arenaAllocate;
    options.deallocator = arenaRelease;
    options.userdata = this;
}

void* ParseArena::allocate(std::size_t size) {
    if (size > kSmallLimit - kHeader) return allocateLarge(size);
    const std::size_t cls = (size + kHeader + kGrain - 1) / kGrain - 1;
    if (void* p = freeLists_[cls]) {
        freeLists_[cls] = *static_cast<void**>(p);
        return p;
    }
    return allocateSmall(cls);
}

void* ParseArena::allocateSmall(std::size_t cls) {
    const std::size_t blockSize = (cls + 1) * kGrain;
    if (static_cast<std::size_t>(end_ - next_) < blockSize) {
        chunks_.push_back(std::make_unique_for_overwrite<std::byte[]>(nextChunkSize_));
        heldBytes_ += nextChunkSize_;
        next_ = chunks_.back().get() + kHeader;
        end_ = chunks_.back().get() + nextChunkSize_;
        nextChunkSize_ = std::min(nextChunkSize_ * 2, kLargestChunk);
    }
    std::byte* block = next_;
    next_ += blockSize;
    new (block) std::uint64_t(cls);
    return block + kHeader;
}

void* ParseArena::allocateLarge(std::size_t size) {
    static_assert(sizeof(LargeBlock) % kGrain == 0);
    auto* block = static_cast<LargeBlock*>(::operator new(sizeof(LargeBlock) + size));
    *block = LargeBlock{nullptr, large_, size, kLarge};
    if (large_) large_->prev = block;
    large_ = block;
    heldBytes_ += size;
    return block + 1;
}

void ParseArena::release(void* p) {
    if (!p) return;
    const std::uint64_t cls = headerOf(p);
    if (cls != kLarge) {
        *static_cast<void**>(p) = freeLists_[cls];
        freeLists_[cls] = p;
        return;
    }
    LargeBlock* block = static_cast<LargeBlock*>(p) - 1;
    (block->prev ? block->prev->next : large_) = block->next;
    if (block->next) block->next->prev = block->prev;
    heldBytes_ -= block->size;
    ::operator delete(block);
}

}  // namespace qf::engine
