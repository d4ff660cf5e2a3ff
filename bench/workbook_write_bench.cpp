// The workbook's write at each of the writer's compression settings: the
// processor time of writing the same workbook against the file's size.
//
//     workbook_write_bench <folder with .html files> <folder for the workbooks> [page count] [rounds]
//     workbook_write_bench <folder with .html files> <folder for the workbooks> <page count> peak <setting>
//
// The second form writes both workbooks once with that setting and prints the
// process's peak resident size before and after: what the write adds to it
// (run each setting in a process of its own).
//
// The pages are loaded through the web page source from loopback and placed
// as an import places them: on one sheet (each page at A1, above the ones
// before it) and on a sheet each. Then every setting writes both workbooks
// with writeXlsx, the settings taking turns round by round; the least
// processor time of each counts. Each setting's workbooks are kept in the
// folder as <setting>-one.xlsx and <setting>-each.xlsx, for comparing their
// cells (bench/workbook_write.sh).
//
// The settings: libxlsxwriter's constant-memory mode (every sheet's rows
// streamed to a temporary file, texts kept in the cells; the rows must come in
// order) or not (every cell in memory until the end, texts in the shared
// table), and the zip level: the library's own, zlib's default 6, and the
// others (the program packs at the level xlsx_output.cpp chooses). This
// program takes the two calls that decide them, workbook_new_opt and zlib's
// deflateInit2_, and gives them the setting under test; the figures are beside
// level-6's, the library's own setting.

#include <dlfcn.h>
#include <sys/resource.h>
#include <xlsxwriter.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/html_pages.h"
#include "engine/web/web_page_source.h"
#include "engine/workbook/workbook.h"
#include "engine/workbook/xlsx_output.h"
#include "tests/import/loopback_server.h"

namespace {

struct Setting {
    const char* name;
    bool constantMemory;
    int level;  // zlib's
};

Setting current{"level-6", true, 6};
bool overriding = false;

template <typename Function>
Function next(const char* name) {
    void* found = dlsym(RTLD_NEXT, name);
    if (!found) {
        std::cerr << "no " << name << " to call\n";
        std::exit(2);
    }
    return reinterpret_cast<Function>(found);
}

}  // namespace

extern "C" {

lxw_workbook* workbook_new_opt(const char* filename, lxw_workbook_options* options) {
    using Real = lxw_workbook* (*)(const char*, lxw_workbook_options*);
    static const Real real = next<Real>("workbook_new_opt");
    if (!overriding || !options) return real(filename, options);
    lxw_workbook_options changed = *options;
    changed.constant_memory = current.constantMemory ? LXW_TRUE : LXW_FALSE;
    return real(filename, &changed);
}

int deflateInit2_(z_streamp stream, int level, int method, int windowBits, int memLevel, int strategy,
                  const char* version, int streamSize) {
    using Real = int (*)(z_streamp, int, int, int, int, int, const char*, int);
    static const Real real = next<Real>("deflateInit2_");
    return real(stream, overriding ? current.level : level, method, windowBits, memLevel, strategy, version,
                streamSize);
}

}  // extern "C"

namespace {

namespace fs = std::filesystem;
using qf::engine::Workbook;

double threadCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

// The pages as an import places them: all on the first sheet (each at A1,
// above the others; onto a new sheet when it is full) or a sheet each.
void placeAll(const std::vector<qf::engine::PageGrid>& grids, Workbook& oneSheet, Workbook& sheetEach) {
    for (std::size_t i = 0; i < grids.size(); ++i) {
        qf::engine::PageGrid grid = grids[i];
        try {
            oneSheet.activeSheet()->place({0, 0}, 0, grid, true);
        } catch (const std::exception&) {
            grid = grids[i];
            oneSheet.addSheet(oneSheet.sheets().size())->place({0, 0}, 0, grid, true);
        }
        grid = grids[i];
        auto sheet = i == 0 ? sheetEach.activeSheet() : sheetEach.addSheet(sheetEach.sheets().size());
        sheet->place({0, 0}, 0, grid, true);
    }
}

long peakResidentKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

struct Figures {
    double oneCpu = 1e300, eachCpu = 1e300;
    std::uintmax_t oneSize = 0, eachSize = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: workbook_write_bench <folder with .html files> <folder for the workbooks> [page count]"
                     " [rounds]\n";
        return 2;
    }
    const fs::path out = argv[2];
    const std::size_t count = argc > 3 ? std::stoul(argv[3]) : 300;
    const bool peak = argc > 5 && std::string(argv[4]) == "peak";
    const int rounds = argc > 4 && !peak ? std::stoi(argv[4]) : 5;
    fs::create_directories(out);

    qf::testing::LoopbackServer server;
    const qf::bench::ServedPages served = qf::bench::serveHtmlPages(argv[1], count, server);
    if (served.urls.empty()) return 2;
    auto source = qf::engine::makeWebPageSource();
    std::vector<qf::engine::PageGrid> grids;
    for (const auto& url : served.urls) grids.push_back(source->load(url));
    Workbook oneSheet(1), sheetEach(1);
    placeAll(grids, oneSheet, sheetEach);
    grids.clear();

    const std::vector<Setting> settings = {
        {"level-6", true, 6},
        {"level-1", true, 1},
        {"level-2", true, 2},
        {"level-3", true, 3},
        {"level-4", true, 4},
        {"level-5", true, 5},
        {"in-memory-level-6", false, 6},
        {"in-memory-level-1", false, 1},
        {"in-memory-level-3", false, 3},
    };
    overriding = true;
    if (peak) {
        const auto chosen = std::find_if(settings.begin(), settings.end(),
                                         [&](const Setting& setting) { return setting.name == std::string(argv[5]); });
        if (chosen == settings.end()) {
            std::cerr << "no setting " << argv[5] << "\n";
            return 2;
        }
        current = *chosen;
        const long before = peakResidentKiB();
        qf::engine::writeXlsx(oneSheet, (out / "peak-one.xlsx").string());
        qf::engine::writeXlsx(sheetEach, (out / "peak-each.xlsx").string());
        std::printf(
            "%-20s peak resident size: %.1f MiB with the workbooks built, %.1f MiB after writing them (%+.1f)\n",
            current.name, static_cast<double>(before) / 1024, static_cast<double>(peakResidentKiB()) / 1024,
            static_cast<double>(peakResidentKiB() - before) / 1024);
        return 0;
    }
    std::map<std::string, Figures> figures;
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < settings.size(); ++k) {
            current = settings[(k + static_cast<std::size_t>(round)) % settings.size()];
            Figures& f = figures[current.name];
            for (const bool one : {true, false}) {
                const fs::path file = out / (std::string(current.name) + (one ? "-one.xlsx" : "-each.xlsx"));
                const double start = threadCpuSeconds();
                qf::engine::writeXlsx(one ? oneSheet : sheetEach, file.string());
                const double cpu = threadCpuSeconds() - start;
                (one ? f.oneCpu : f.eachCpu) = std::min(one ? f.oneCpu : f.eachCpu, cpu);
                (one ? f.oneSize : f.eachSize) = fs::file_size(file);
            }
        }
    }

    std::printf("%zu pages, %.1f MiB of HTML; %zu sheets on one sheet, %zu a sheet each; least of %d rounds\n",
                served.urls.size(), static_cast<double>(served.bytes) / (1 << 20), oneSheet.sheets().size(),
                sheetEach.sheets().size(), rounds);
    std::printf("%-20s %24s %24s\n", "setting", "one sheet: cpu s, MiB", "a sheet each: cpu s, MiB");
    const Figures& base = figures["level-6"];
    for (const auto& setting : settings) {
        const Figures& f = figures[setting.name];
        std::printf("%-20s %7.3f %6.2f (%+5.1f%%) %7.3f %6.2f (%+5.1f%%)   cpu %+5.1f%% %+5.1f%%\n", setting.name,
                    f.oneCpu, static_cast<double>(f.oneSize) / (1 << 20),
                    100.0 * (static_cast<double>(f.oneSize) / static_cast<double>(base.oneSize) - 1), f.eachCpu,
                    static_cast<double>(f.eachSize) / (1 << 20),
                    100.0 * (static_cast<double>(f.eachSize) / static_cast<double>(base.eachSize) - 1),
                    100.0 * (f.oneCpu / base.oneCpu - 1), 100.0 * (f.eachCpu / base.eachCpu - 1));
    }
    return 0;
}
