#pragma once
// How the engine's fuzzers read their input: the first byte picks the web query
// settings, whether the page is HTML or text and the charset its header names;
// the rest is the page as downloaded, decoded as the web page source decodes it.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/web/charset.h"
#include "engine/web/page_source.h"

namespace qf::engine::fuzz {

struct FuzzPage {
    WebQueryOptions options;
    bool html = true;
    std::string text;  // decoded to UTF-8
};

// Needs size > 0.
inline FuzzPage fuzzPage(const std::uint8_t* data, std::size_t size) {
    FuzzPage page;
    const std::uint8_t flags = data[0];
    page.options.preFormattedTextToColumns = flags & 1;
    page.options.consecutiveDelimitersAsOne = flags & 2;
    page.options.disableDateRecognition = flags & 4;
    page.html = !(flags & 8);
    static const char* const kHeaderCharsets[] = {"", "utf-8", "windows-1252", "utf-16le", "shift_jis"};
    const char* header = kHeaderCharsets[(flags >> 4) % 5];
    std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    page.text = decodeToUtf8(std::move(bytes), header, page.html);
    return page;
}

}  // namespace qf::engine::fuzz
