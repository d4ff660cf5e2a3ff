#include "html_parse_budget.h"

#include <cstdint>
#include <initializer_list>

namespace qf::engine {

namespace {

using u64 = std::uint64_t;

constexpr u64 kParseWorkBudget = 400'000'000;

bool equalsNoCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

bool oneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    for (std::string_view n : names)
        if (equalsNoCase(name, n)) return true;
    return false;
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
        if (oneOf(name, {"script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes"})) {
            // Raw text up to the matching end tag.
            std::size_t close = i;
            while ((close = html.find("</", close)) != std::string_view::npos &&
                   !equalsNoCase(html.substr(close + 2, name.size()), name))
                close += 2;
            if (close == std::string_view::npos) break;
            i = close;
            continue;
        }
        if (name.size() <= 8 &&
            oneOf(name, {"area",  "base",  "br",    "col",      "embed",   "hr",       "img",     "input",
                         "link",  "meta",  "param", "source",   "track",   "wbr",      "keygen",  "p",
                         "li",    "dt",    "dd",    "tr",       "td",      "th",       "option",  "optgroup",
                         "thead", "tbody", "tfoot", "colgroup", "caption", "rb",       "rt",      "rp",
                         "rtc",   "html",  "head",  "body",     "image",   "basefont", "bgsound", "frame"}))
            continue;
        std::size_t gt = html.find('>', i);
        if (gt != std::string_view::npos && gt > 0 && html[gt - 1] == '/') continue;
        ++depth;
        work += depth;
        if (work > kParseWorkBudget) return false;
    }
    return true;
}

}  // namespace qf::engine
