// The parse arena: blocks that never overlap and keep their contents, freed
// blocks reused, large blocks given back at once, and a parse through it that
// gives the very tree the heap gives.

#include <gtest/gtest.h>
#include <gumbo.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/web/parse_arena.h"

namespace qf::engine {
namespace {

struct Block {
    unsigned char* p;
    std::size_t size;
    unsigned char fill;
};

void expectIntact(const Block& b) {
    for (std::size_t i = 0; i < b.size; ++i)
        ASSERT_EQ(b.p[i], b.fill) << "block of " << b.size << " bytes overwritten at byte " << i;
}

TEST(ParseArena, BlocksAreAlignedKeepTheirBytesAndAreReusedOnceFreed) {
    ParseArena arena;
    std::mt19937 random(7);
    std::vector<Block> live;
    const std::size_t sizes[] = {0, 1, 7, 8, 9, 15, 16, 17, 1000, 1015, 1016, 1017, 1024, 5000, 100000};
    for (int step = 0; step < 20000; ++step) {
        if (!live.empty() && random() % 3 == 0) {
            const std::size_t k = random() % live.size();
            expectIntact(live[k]);
            arena.release(live[k].p);
            live[k] = live.back();
            live.pop_back();
            continue;
        }
        const std::size_t size = random() % 4 ? random() % 300 : sizes[random() % std::size(sizes)];
        auto* p = static_cast<unsigned char*>(arena.allocate(size));
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(p) % alignof(std::max_align_t), 0u) << size;
        const auto fill = static_cast<unsigned char>(step);
        std::fill(p, p + size, fill);
        live.push_back({p, size, fill});
    }
    for (const Block& b : live) expectIntact(b);

    // A freed block of a size is what the next request of that size gets.
    void* small = arena.allocate(40);
    arena.release(small);
    if (ParseArena::kPoolsSmallBlocks) {
        EXPECT_EQ(arena.allocate(36), small);
    }
    arena.release(nullptr);  // as free(nullptr): nothing
}

TEST(ParseArena, LargeBlocksGoBackAtOnceSoGrowingBuffersDoNotPileUp) {
    ParseArena arena;
    const std::size_t before = arena.heldBytes();
    // A buffer grown by doubling, the old one freed each time, as the parser does.
    void* buffer = arena.allocate(16);
    for (std::size_t size = 32; size <= (std::size_t{8} << 20); size *= 2) {
        void* bigger = arena.allocate(size);
        arena.release(buffer);
        buffer = bigger;
    }
    EXPECT_LE(arena.heldBytes() - before, (std::size_t{8} << 20) + (std::size_t{1} << 20));
    arena.release(buffer);
    EXPECT_LE(arena.heldBytes() - before, std::size_t{1} << 20);  // the chunks of small blocks only
}

// The tree as text: every node's type, tag or text and attributes, in order.
void describe(const GumboNode* node, std::string& out) {
    out += std::to_string(node->type) + ':';
    if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
        const GumboElement& e = node->v.element;
        out += gumbo_normalized_tagname(e.tag);
        for (unsigned i = 0; i < e.attributes.length; ++i) {
            const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
            out += std::string(" ") + a->name + "=" + a->value;
        }
        out += '{';
        for (unsigned i = 0; i < e.children.length; ++i)
            describe(static_cast<const GumboNode*>(e.children.data[i]), out);
        out += '}';
    } else if (node->type == GUMBO_NODE_DOCUMENT) {
        for (unsigned i = 0; i < node->v.document.children.length; ++i)
            describe(static_cast<const GumboNode*>(node->v.document.children.data[i]), out);
    } else {
        out += node->v.text.text;
    }
    out += '\n';
}

std::string parsed(const std::string& html, ParseArena* arena) {
    std::string text;
    if (arena) {
        describe(arena->parse(parserOptions(), html)->document, text);  // the arena's tree goes with the arena
        return text;
    }
    GumboOptions options = parserOptions();
    GumboOutput* out = gumbo_parse_with_options(&options, html.data(), html.size());
    describe(out->document, text);
#ifdef QUILLFEN_GUMBO_WITHOUT_ALLOCATOR
    gumbo_destroy_output(out);
#else
    gumbo_destroy_output(&options, out);
#endif
    return text;
}

TEST(ParseArena, AParseGivesTheTreeTheHeapGives) {
    std::string long_text(300000, 'x');
    std::string many_attributes = "<div";
    for (int i = 0; i < 500; ++i) many_attributes += " a" + std::to_string(i) + "='" + std::to_string(i * 7) + "'";
    many_attributes += ">x</div>";
    std::string deep;
    for (int i = 0; i < 3000; ++i) deep += "<div><span>" + std::to_string(i);
    const std::string pages[] = {
        "<html><head><title>T</title><style>p{}</style></head><body><p>One &amp; two<p>three</body></html>",
        "<table><tr><td rowspan=2>a<td>b<tr><td>c</table><template><b>t</b></template><!-- note -->",
        "<p>" + long_text + "</p><pre>\n  kept   as is\n</pre><script>var s = '</p>';</script>",
        many_attributes,
        deep,
        "<b><i>misnested</b></i><table><div>foster parented</div><tr><td>x</table><select><option>y",
        "\xEF\xBB\xBF<p>caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 &nbsp;&#x1F600;&bogus;",
    };
    for (const std::string& page : pages) {
        ParseArena arena;
        EXPECT_EQ(parsed(page, &arena), parsed(page, nullptr)) << page.substr(0, 80);
    }
    // Nothing is cut where the parser has limits of its own: the last attribute
    // and the deepest text are in the tree.
    ParseArena arena;
    EXPECT_NE(parsed(many_attributes, &arena).find(" a499=3493"), std::string::npos);
    EXPECT_NE(parsed(deep, &arena).find("2999\n"), std::string::npos);
}

}  // namespace
}  // namespace qf::engine
