#include "parse_arena.h"

#include <gumbo.h>

#include <algorithm>
#include <climits>
#include <new>

namespace qf::engine {

namespace {

constexpr std::size_t kLargestChunk = std::size_t{1} << 20;

#ifndef QUILLFEN_GUMBO_WITHOUT_ALLOCATOR
// The parser is C: nothing may be thrown through it. Running out of memory in
// the middle of a parse ends the program, as it would with malloc's null.
void* arenaAllocate(void* arena, std::size_t size) noexcept { return static_cast<ParseArena*>(arena)->allocate(size); }
void arenaRelease(void* arena, void* p) noexcept { static_cast<ParseArena*>(arena)->release(p); }
#endif

}  // namespace

struct ParseArena::LargeBlock {
    LargeBlock* prev;
    LargeBlock* next;
    std::size_t size;
    std::uint64_t header;  // kLarge, right before the memory handed out
};

ParseArena::~ParseArena() {
#ifdef QUILLFEN_GUMBO_WITHOUT_ALLOCATOR
    for (GumboOutput* tree : trees_) gumbo_destroy_output(tree);
#endif
    while (large_) {
        LargeBlock* next = large_->next;
        ::operator delete(large_);
        large_ = next;
    }
}

const GumboOutput* ParseArena::parse(GumboOptions options, std::string_view html) {
#ifdef QUILLFEN_GUMBO_WITHOUT_ALLOCATOR
    trees_.reserve(trees_.size() + 1);  // so that no tree is ever left without its owner
    trees_.push_back(gumbo_parse_with_options(&options, html.data(), html.size()));
    return trees_.back();
#else
    options.allocator = arenaAllocate;
    options.deallocator = arenaRelease;
    options.userdata = this;
    return gumbo_parse_with_options(&options, html.data(), html.size());
#endif
}

GumboOptions parserOptions() {
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
#ifdef QUILLFEN_GUMBO_WITHOUT_ALLOCATOR
    options.max_attributes = -1;
    options.max_tree_depth = UINT_MAX;
#endif
    return options;
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

void ParseArena::releaseLarge(void* p) {
    LargeBlock* block = static_cast<LargeBlock*>(p) - 1;
    (block->prev ? block->prev->next : large_) = block->next;
    if (block->next) block->next->prev = block->prev;
    heldBytes_ -= block->size;
    ::operator delete(block);
}

}  // namespace qf::engine
