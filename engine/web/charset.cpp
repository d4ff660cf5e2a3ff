#include "charset.h"

#include <algorithm>

#include "base/text.h"
#include "engine/workbook/xml_text.h"
#include "platform/platform.h"

namespace qf::engine {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
// How far into a page a <meta> declaration is looked for.
constexpr std::size_t kMetaScanBytes = 4096;

std::string lowerCopy(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), asciiLower);
    return out;
}

std::size_t findNoCase(std::string_view hay, std::string_view needle, std::size_t from = 0) {
    if (needle.size() > hay.size()) return std::string_view::npos;
    for (std::size_t i = from; i + needle.size() <= hay.size(); ++i) {
        std::size_t k = 0;
        while (k < needle.size() && asciiLower(hay[i + k]) == needle[k]) ++k;
        if (k == needle.size()) return i;
    }
    return std::string_view::npos;
}

// The value after "<key>=" in `s` (key in lower case), without quotes.
std::string valueAfter(std::string_view s, std::string_view key) {
    std::size_t at = findNoCase(s, key);
    while (at != std::string_view::npos) {
        std::size_t i = at + key.size();
        while (i < s.size() && isHtmlSpace(s[i])) ++i;
        if (i < s.size() && s[i] == '=') {
            ++i;
            while (i < s.size() && isHtmlSpace(s[i])) ++i;
            while (i < s.size() && (s[i] == '"' || s[i] == '\'')) ++i;
            std::size_t start = i;
            while (i < s.size() && !isHtmlSpace(s[i]) && s[i] != '"' && s[i] != '\'' && s[i] != ';' && s[i] != '>' &&
                   s[i] != '/')
                ++i;
            return std::string(s.substr(start, i - start));
        }
        at = findNoCase(s, key, at + key.size());
    }
    return {};
}

std::string charsetAfter(std::string_view s) { return valueAfter(s, "charset"); }

// The index of the first byte that is not valid UTF-8, or the size.
std::size_t firstInvalidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        // Plain ASCII in blocks of eight.
        while (i + 8 <= s.size()) {
            std::uint64_t block;
            __builtin_memcpy(&block, s.data() + i, 8);
            if (block & 0x8080808080808080ull) break;
            i += 8;
        }
        if (i >= s.size()) break;
        std::size_t len = utf8SequenceLength(s, i);
        if (len == 0) return i;
        i += len;
    }
    return s.size();
}

// Replaces each invalid byte with U+FFFD.
std::string repairUtf8(std::string&& s) {
    std::size_t bad = firstInvalidUtf8(s);
    if (bad == s.size()) return std::move(s);
    std::string out;
    out.reserve(s.size() + 16);
    out.append(s, 0, bad);
    std::size_t i = bad;
    while (i < s.size()) {
        std::size_t len = utf8SequenceLength(s, i);
        if (len == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(s, i, len);
            i += len;
        }
    }
    return out;
}

enum class Source { Header, Meta };

// The iconv name for an encoding label, or empty when the label is unknown.
std::string encodingForLabel(std::string_view label, Source source) {
    std::string l = lowerCopy(label);
    if (l == "utf-8" || l == "utf8" || l == "unicode-1-1-utf-8") return "UTF-8";
    if (l == "iso-8859-1" || l == "iso8859-1" || l == "iso_8859-1" || l == "latin1" || l == "l1" || l == "ascii" ||
        l == "us-ascii" || l == "windows-1252" || l == "cp1252" || l == "x-cp1252")
        return "WINDOWS-1252";
    if (l.rfind("utf-16", 0) == 0 || l == "unicode") {
        // A page that can state its own encoding in ASCII is not UTF-16.
        if (source == Source::Meta) return "UTF-8";
        return l == "utf-16be" ? "UTF-16BE" : "UTF-16LE";
    }
    if (l.empty() || l.size() > 40) return {};
    for (char& c : l) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return platform::convertToUtf8({}, l) ? l : std::string();
}

std::string convert(std::string_view in, const std::string& encoding) {
    std::optional<std::string> out = platform::convertToUtf8(in, encoding);
    return out ? std::move(*out) : repairUtf8(std::string(in));
}

}  // namespace

std::string charsetParameter(std::string_view contentType) {
    std::size_t semi = contentType.find(';');
    if (semi == std::string_view::npos) return {};
    return charsetAfter(contentType.substr(semi));
}

std::string metaCharset(std::string_view html) {
    std::string_view head = html.substr(0, std::min(html.size(), kMetaScanBytes));
    if (head.substr(0, 5) == "<?xml") {  // an XHTML page's XML declaration
        std::string_view declaration = head.substr(0, head.find("?>"));
        std::string found = valueAfter(declaration, "encoding");
        if (!found.empty()) return found;
    }
    std::size_t at = findNoCase(head, "<meta");
    while (at != std::string_view::npos) {
        std::size_t end = head.find('>', at);
        std::string found = charsetAfter(head.substr(at, end == std::string_view::npos ? head.npos : end - at));
        if (!found.empty()) return found;
        if (end == std::string_view::npos) break;
        at = findNoCase(head, "<meta", end);
    }
    return {};
}

std::string decodeToUtf8(std::string&& bytes, std::string_view headerCharset, bool html) {
    std::string_view b = bytes;
    if (b.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.erase(0, 3);
        return repairUtf8(std::move(bytes));
    }
    if (b.substr(0, 2) == "\xFF\xFE") return convert(b.substr(2), "UTF-16LE");
    if (b.substr(0, 2) == "\xFE\xFF") return convert(b.substr(2), "UTF-16BE");

    std::string encoding = encodingForLabel(headerCharset, Source::Header);
    if (encoding.empty() && html) encoding = encodingForLabel(metaCharset(b), Source::Meta);
    if (encoding.empty()) encoding = firstInvalidUtf8(b) == b.size() ? "UTF-8" : "WINDOWS-1252";
    if (encoding == "UTF-8") return repairUtf8(std::move(bytes));
    return convert(b, encoding);
}

}  // namespace qf::engine
