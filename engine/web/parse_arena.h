#pragma once
// Memory for one HTML parse. The parser makes a great many small allocations
// (nodes, attributes, the growing buffers of every text) and frees them all
// together when the page has been laid out; taking them from a few large
// blocks instead of the general heap makes both the parse and its release far
// cheaper, and returns the memory in one go.
//
// Owned by the thread that parses the page; not shared between threads.
//
// A parser built without allocator hooks (QUILLFEN_GUMBO_WITHOUT_ALLOCATOR, set
// by the build) takes its blocks from the heap itself; the arena then only
// holds the parsed tree and destroys it with its end, and its own blocks come
// from the heap one by one, as under the address sanitizer.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

struct GumboInternalOptions;
struct GumboInternalOutput;

#if defined(__SANITIZE_ADDRESS__) || defined(QUILLFEN_GUMBO_WITHOUT_ALLOCATOR)
#define QUILLFEN_PARSE_ARENA_EACH_BLOCK_FROM_THE_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLFEN_PARSE_ARENA_EACH_BLOCK_FROM_THE_HEAP 1
#endif
#endif

namespace qf::engine {

class ParseArena {
public:
    // Small blocks come from shared chunks and are reused; under the address
    // sanitizer every block comes from the heap on its own, so that it can see
    // a block used after its release or beyond its end.
#ifdef QUILLFEN_PARSE_ARENA_EACH_BLOCK_FROM_THE_HEAP
    static constexpr bool kPoolsSmallBlocks = false;
#else
    static constexpr bool kPoolsSmallBlocks = true;
#endif

    ParseArena() = default;
    ~ParseArena();
    ParseArena(const ParseArena&) = delete;
    ParseArena& operator=(const ParseArena&) = delete;

    // Parses a page with these options, its blocks taken from this arena where
    // the parser takes an allocator. The tree lives as long as the arena.
    const GumboInternalOutput* parse(GumboInternalOptions options, std::string_view html);

    // Memory aligned as malloc's; never null (throws std::bad_alloc).
    void* allocate(std::size_t size) {
        if (!kPoolsSmallBlocks || size > kSmallLimit - kHeader) return allocateLarge(size);
        const std::size_t cls = (size + kHeader + kGrain - 1) / kGrain - 1;
        if (void* p = freeLists_[cls]) {
            freeLists_[cls] = *static_cast<void**>(p);
            return p;
        }
        return allocateSmall(cls);
    }
    // Small blocks are kept for the next allocation of their size; large ones go
    // back to the heap at once. Null is ignored.
    void release(void* p) {
        if (!p) return;
        const std::uint64_t cls = *(static_cast<std::uint64_t*>(p) - 1);
        if (cls == kLarge) return releaseLarge(p);
        *static_cast<void**>(p) = freeLists_[cls];
        freeLists_[cls] = p;
    }

    // Bytes taken from the heap and still held, for tests and benchmarks.
    std::size_t heldBytes() const { return heldBytes_; }

private:
    struct LargeBlock;
    // Every block starts with the word before the pointer handed out: its size
    // class, or kLarge. Blocks are multiples of kGrain and start 8 bytes past a
    // kGrain boundary, so what is handed out is aligned like malloc's.
    static constexpr std::uint64_t kLarge = ~std::uint64_t{0};
    static constexpr std::size_t kHeader = sizeof(std::uint64_t);
    static constexpr std::size_t kGrain = 16;
    static constexpr std::size_t kSmallLimit = 1024;  // larger blocks come from the heap one by one
    static constexpr std::size_t kClasses = kSmallLimit / kGrain;

    void* allocateSmall(std::size_t cls);
    void* allocateLarge(std::size_t size);
    void releaseLarge(void* p);

    std::vector<GumboInternalOutput*> trees_;  // destroyed with the arena where the parser has no allocator
    std::vector<std::unique_ptr<std::byte[]>> chunks_;
    std::byte* next_ = nullptr;  // the free space of the newest chunk
    std::byte* end_ = nullptr;
    std::size_t nextChunkSize_ = 32 * 1024;
    void* freeLists_[kClasses] = {};
    LargeBlock* large_ = nullptr;  // every large block still held, to free them in the end
    std::size_t heldBytes_ = 0;
};

// The engine's parse: no list of parse errors (of no use here), and no limit
// on depth or attributes where the parser has them (a page is measured
// against the engine's own parse budget before it is parsed).
GumboInternalOptions parserOptions();

}  // namespace qf::engine
