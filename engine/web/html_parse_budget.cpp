#include "html_parse_budget.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "base/text.h"

namespace qf::engine {

namespace {

using u64 = std::uint64_t;

constexpr u64 kParseWorkBudget = 400'000'000;

// A tag name of up to eight letters and digits packed into one word, in small
// letters: compared with the names below at one comparison each. Longer names
// are none of them.
constexpr std::size_t kPackedLength = 8;
constexpr u64 kNotPacked = ~u64{0};

constexpr u64 packed(std::string_view name) {
    if (name.empty() || name.size() > kPackedLength) return kNotPacked;
    u64 word = 0;
    for (const char c : name) word = word << 8 | static_cast<unsigned char>(asciiLower(c));
    return word;
}

template <std::size_t N>
constexpr std::array<u64, N> sortedNames(const std::array<std::string_view, N>& names) {
    std::array<u64, N> words{};
    for (std::size_t i = 0; i < N; ++i) words[i] = packed(names[i]);
    std::sort(words.begin(), words.end());
    return words;
}

// Elements whose content is raw text up to their end tag.
constexpr std::array<u64, 8> kRawText =
    sortedNames<8>({"script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes"});

// Elements without end tags, or whose end tags are optional: they add no depth.
constexpr std::array<u64, 40> kNoDepth = sortedNames<40>(
    {"area",  "base",   "br",     "col",      "embed",  "hr",    "img",   "input",    "link",    "meta",
     "param", "source", "track",  "wbr",      "keygen", "p",     "li",    "dt",       "dd",      "tr",
     "td",    "th",     "option", "optgroup", "thead",  "tbody", "tfoot", "colgroup", "caption", "rb",
     "rt",    "rp",     "rtc",    "html",     "head",   "body",  "image", "basefont", "bgsound", "frame"});

template <std::size_t N>
bool among(u64 name, const std::array<u64, N>& names) {
    return name != kNotPacked && std::binary_search(names.begin(), names.end(), name);
}

}  // namespace

bool withinParseBudget(std::string_view html) {
    auto isNameChar = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); };
    u64 depth = 0, work = 0;
    std::size_t i = 0;
    const std::size_t n = html.size();
    while ((i = html.find('<', i)) != std::string_view::npos) {
        ++i;
        if (html.compare(i, 3, "!--") == 0) {
            i = html.find("-->", i + 3);
            if (i == std::string_view::npos) break;
            continue;
        }
        const bool endTag = i < n && html[i] == '/';
        if (endTag) ++i;
        std::size_t start = i;
        while (i < n && isNameChar(html[i])) ++i;
        std::string_view name = html.substr(start, i - start);
        if (name.empty()) continue;
        if (endTag) {
            if (depth > 0) --depth;
            continue;
        }
        const u64 word = packed(name);
        if (among(word, kRawText)) {
            // Raw text up to the matching end tag.
            std::size_t close = i;
            while ((close = html.find("</", close)) != std::string_view::npos &&
                   !sameIgnoringAsciiCase(html.substr(close + 2, name.size()), name))
                close += 2;
            if (close == std::string_view::npos) break;
            i = close;
            continue;
        }
        if (among(word, kNoDepth)) continue;
        std::size_t gt = html.find('>', i);
        if (gt != std::string_view::npos && gt > 0 && html[gt - 1] == '/') continue;
        ++depth;
        work += depth;
        if (work > kParseWorkBudget) return false;
    }
    return true;
}

}  // namespace qf::engine
