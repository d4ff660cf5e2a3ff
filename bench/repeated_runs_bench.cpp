// Ten runs of "Start Importing" in a row in one program over the same pages,
// every fifth of them missing, on one sheet and on a sheet per site by turns:
// the open descriptors and the resident size after each run, against the figures
// before and after the first run (the baselines, measured in the same process).
//
//     repeated_runs_bench <documents folder> [runs] [pages]

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "engine/engine_spreadsheet.h"
#include "import/import_run.h"
#include "support/scripted_services.h"
#include "tests/import/loopback_server.h"
#include "process_status.h"

namespace fs = std::filesystem;

namespace {

// Includes the loopback server's listener, which stays open throughout.
long openDescriptors() {
    long n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

// A page of a few kilobytes: a heading, paragraphs and a table of texts,
// numbers, percentages and dates.
std::string page(int k) {
    std::string html = "<html><body><h1>Page " + std::to_string(k) + "</h1>";
    for (int p = 0; p < 5; ++p) html += "<p>Paragraph " + std::to_string(p) + " of page " + std::to_string(k) + "</p>";
    html += "<table><tr><th>Item</th><th>Count</th><th>Share</th><th>Day</th></tr>";
    for (int r = 0; r < 60; ++r)
        html += "<tr><td>item " + std::to_string(r) + "</td><td>" + std::to_string(r * k) + "</td><td>" +
                std::to_string(r % 100) + "%</td><td>2026-12-" + std::to_string(1 + r % 28) + "</td></tr>";
    return html + "</table></body></html>";
}

class ListOfPages : public qf::ImportRunHost {
public:
    std::vector<std::string> entries;
    int entryCount() const override { return static_cast<int>(entries.size()); }
    std::string entryText(int position) const override { return entries.at(static_cast<std::size_t>(position - 1)); }
    bool sheetPerSite = false;
    qf::SheetMode sheetMode() const override {
        return sheetPerSite ? qf::SheetMode::SheetPerSite : qf::SheetMode::OneSheet;
    }
    void entryStarted(int, int, const std::string&) override {}
    void runFinished(const qf::RunSummary& summary) override { fs::remove(summary.workbook); }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: repeated_runs_bench <documents folder> [runs] [pages]\n";
        return 2;
    }
    const std::string folder = argv[1];
    const int runs = argc > 2 ? std::stoi(argv[2]) : 10;
    const int pages = argc > 3 ? std::stoi(argv[3]) : 100;

    qf::testing::LoopbackServer server;
    ListOfPages list;
    for (int k = 0; k < pages; ++k) {
        if (k % 5 != 4) server.page("/" + std::to_string(k) + ".html", page(k));
        list.entries.push_back(server.url("/" + std::to_string(k) + ".html"));
    }
    qf::engine::EngineSettings settings;
    settings.documentsFolder = folder;
    qf::engine::EngineSpreadsheet spreadsheet(std::move(settings));
    qf::testing::ScriptedServices window;

    const long startFds = openDescriptors();
    std::cout << "runs of " << pages << " entries, every fifth missing; before the first: " << startFds
              << " descriptors, " << residentKb() << " kB resident\n";
    long baseFds = 0, baseKb = 0;
    for (int run = 1; run <= runs; ++run) {
        list.sheetPerSite = run % 2 == 0;
        qf::runImport(list, window, spreadsheet, {});
        if (window.messages().empty() || window.messages().back().rfind("Done.", 0) != 0)
            std::cerr << "run " << run << " did not end with \"Done.\"\n";
        const long fds = openDescriptors(), kb = residentKb();
        if (run == 1) {
            baseFds = fds;
            baseKb = kb;
        }
        std::cout << "after run " << run << (list.sheetPerSite ? " (a sheet per site)" : " (one sheet)") << ": " << fds
                  << " descriptors (" << (fds - startFds) << " against before the first run, " << (fds - baseFds)
                  << " against after it), " << kb << " kB resident (" << (kb - baseKb) << " kB)\n";
    }
    return 0;
}
