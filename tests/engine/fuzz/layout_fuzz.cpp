// Feeds arbitrary bytes through what a fetched page goes through after the
// download: charset decoding, HTML or text layout and value recognition. The
// first byte picks the settings.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/charset.h"
#include "engine/html_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t flags = data[0];
    qf::engine::WebQueryOptions options;
    options.preFormattedTextToColumns = flags & 1;
    options.consecutiveDelimitersAsOne = flags & 2;
    options.disableDateRecognition = flags & 4;
    const bool html = !(flags & 8);
    static const char* const kHeaderCharsets[] = {"", "utf-8", "windows-1252", "utf-16le", "shift_jis"};
    const char* header = kHeaderCharsets[(flags >> 4) % 5];

    std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string text = qf::engine::decodeToUtf8(std::move(bytes), header, html);
    try {
        qf::engine::PageGrid grid = html ? qf::engine::layoutHtml(text, options) : qf::engine::layoutText(text, options);
        // Every cell lies inside the sheet.
        if (grid.rows.size() > qf::engine::kSheetRows) __builtin_trap();
        for (const auto& row : grid.rows)
            if (row.size() > qf::engine::kSheetColumns) __builtin_trap();
    } catch (const qf::engine::PageRefused&) {
    }
    return 0;
}
