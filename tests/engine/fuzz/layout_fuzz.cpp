// Feeds arbitrary bytes through what a fetched page goes through after the
// download: charset decoding, HTML or text layout and value recognition. The
// first byte picks the settings.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/web/html_layout.h"
#include "fuzz_page.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const auto page = qf::engine::fuzz::fuzzPage(data, size);
    try {
        // The facts that tell a page built by scripts are read on the way.
        qf::engine::ScriptSignals facts;
        qf::engine::PageGrid grid = page.html ? qf::engine::layoutHtml(page.text, page.options, {}, &facts)
                                              : qf::engine::layoutText(page.text, page.options);
        (void)qf::engine::scriptBuiltReason(facts);
        if (facts.refresh) (void)qf::engine::refreshTarget("http://127.0.0.1/page.html", *facts.refresh);
        // Every cell lies inside the sheet.
        if (grid.rows.size() > qf::engine::kSheetRows) __builtin_trap();
        for (const auto& row : grid.rows)
            if (row.size() > qf::engine::kSheetColumns) __builtin_trap();
    } catch (const qf::engine::PageRefused&) {}
    return 0;
}
