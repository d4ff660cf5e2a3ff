// Measures the web page source against the floor it cannot go below, the
// HTML parser's own parse of the same pages.
//
//   bench_web pages <dir>              every .html below <dir>, served on loopback:
//                                      bare parse, the source's load (fetch + layout
//                                      + values) and the curl command line
//   bench_web generate <file> <MiB>    writes a table page of about that size
//   bench_web big parse|load <file>    one large page in this process: time,
//                                      processor time and peak memory (run each
//                                      mode in a process of its own)
//   bench_web loads <dir> <rounds>     the source's load of every page only: the
//                                      best round's time and processor time
//   bench_web cells <dir>              every page's cells, one line each, for
//                                      comparing two builds
//   bench_web values <dir> <rounds>    what reading the values costs: the layout
//                                      of every page (parse + layout, in this
//                                      thread) and the source's load of every
//                                      page, each with values read and with
//                                      every cell kept as text, rounds taking
//                                      turns; the best round's processor time
//   bench_web layouts <dir> on|off     the layout of every page once, values read
//                                      or not: for counting instructions under
//                                      valgrind, which one measure the same

#include <gumbo.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bare_parse.h"
#include "engine/workbook/sheet_cells.h"
#include "engine/web/html_layout.h"
#if __has_include("engine/web/page_values.h")
#include "engine/web/page_values.h"
#endif
#include "engine/web/web_page_source.h"
#include "tests/support/http_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using qf::testing::ScriptedHttpServer;

// A page of the source, read with the options it was made with. (The program
// is built against earlier revisions too, whose loads took the options.)
qf::engine::PageGrid loadPage(qf::engine::PageSource& source, const std::string& address) {
#if __has_include("engine/web/web_limits.h")
    return source.load(address);
#else
    return source.load(address, {});
#endif
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Processor time of the whole process (its threads included), in ms.
double cpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
            static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3);
}

long peakRssKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// Serves pages from memory with keep-alive, as a web server would.
std::unique_ptr<ScriptedHttpServer> serve(const std::map<std::string, std::string>& pages) {
    return std::make_unique<ScriptedHttpServer>(
        [&pages](const ScriptedHttpServer::Request& r, ScriptedHttpServer::Connection& c) {
            c.keepAlive();
            auto it = pages.find(r.path);
            if (it == pages.end()) {
                c.send(ScriptedHttpServer::response(404, "text/html", "", {}, true));
                return;
            }
            std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                               std::to_string(it->second.size()) + "\r\n\r\n";
            c.send(head);
            c.send(it->second);
        });
}

// The cells a sheet gets from the page.
std::size_t cellCount(qf::engine::PageGrid grid) {
    qf::engine::SheetCells sheet;
    qf::engine::placeGrid(sheet, 0, 0, 0, grid);
    std::size_t n = 0;
    sheet.forEachCell([&](std::int64_t, std::int32_t, const qf::engine::CellView&) { ++n; });
    return n;
}

// Every .html file below dir, by its path under dir ("/a/b.html"); bytes is their size in all.
std::map<std::string, std::string> readPages(const std::filesystem::path& dir, std::size_t& bytes) {
    std::map<std::string, std::string> pages;
    bytes = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".html") continue;
        std::string path = "/";
        path += std::filesystem::relative(entry.path(), dir).generic_string();
        std::string body = readFile(entry.path());
        bytes += body.size();
        pages.emplace(std::move(path), std::move(body));
    }
    return pages;
}

// The .html pages below a folder served on loopback, and a page source to load
// them with. Stays where it is made: the server reads the pages in place.
struct ServedFolder {
    explicit ServedFolder(const std::filesystem::path& dir)
        : pages(readPages(dir, bytes)),
          server(serve(pages)),
          base(server->url("")),
          source(qf::engine::makeWebPageSource()) {}
    ServedFolder(const ServedFolder&) = delete;
    ServedFolder& operator=(const ServedFolder&) = delete;

    std::size_t bytes = 0;
    const std::map<std::string, std::string> pages;
    const std::unique_ptr<ScriptedHttpServer> server;
    const std::string base;  // a page's address is base + its path
    const std::unique_ptr<qf::engine::PageSource> source;
};

struct ParseAndLoad {
    double parseMs = 1e300, parseCpuMs = 1e300, loadMs = 1e300, loadCpuMs = 1e300;  // the best round of each
    std::size_t nodes = 0, cells = 0, failures = 0;
};

// Parse and load rounds take turns, so that a machine busy with other work
// weighs on both alike; the best round of each counts.
ParseAndLoad parseAndLoad(const std::map<std::string, std::string>& pages, const std::string& base, int rounds) {
    auto source = qf::engine::makeWebPageSource();
    ParseAndLoad m;
    for (int r = 0; r < rounds; ++r) {
        auto start = Clock::now();
        double cpu = cpuMs();
        m.nodes = 0;
        for (const auto& [path, body] : pages) m.nodes += bareParse(body);
        m.parseMs = std::min(m.parseMs, msSince(start));
        m.parseCpuMs = std::min(m.parseCpuMs, cpuMs() - cpu);

        start = Clock::now();
        cpu = cpuMs();
        m.cells = m.failures = 0;
        for (const auto& [path, body] : pages) {
            try {
                m.cells += cellCount(loadPage(*source, base + path));
            } catch (const std::exception& e) {
                ++m.failures;
                if (m.failures == 1) std::cerr << e.what() << "\n";
            }
        }
        m.loadMs = std::min(m.loadMs, msSince(start));
        m.loadCpuMs = std::min(m.loadCpuMs, cpuMs() - cpu);
    }
    return m;
}

// The curl command line, every page in one process; the best of the rounds.
double curlMs(const std::map<std::string, std::string>& pages, const std::string& base, int rounds) {
    std::filesystem::path config = std::filesystem::temp_directory_path() / "quillfen-bench-curl.cfg";
    {
        std::ofstream out(config);
        for (const auto& [path, body] : pages) out << "url = \"" << base << path << "\"\noutput = \"/dev/null\"\n";
    }
    double best = 1e300;
    for (int r = 0; r < rounds; ++r) {
        auto start = Clock::now();
        int rc = std::system(("curl -s -K " + config.string()).c_str());
        best = std::min(best, msSince(start));
        if (rc != 0) std::cerr << "curl exited with " << rc << "\n";
    }
    std::filesystem::remove(config);
    return best;
}

int pagesMode(const std::filesystem::path& dir) {
    std::size_t bytes = 0;
    const std::map<std::string, std::string> pages = readPages(dir, bytes);
    if (pages.empty()) {
        std::cerr << "no .html pages below " << dir << "\n";
        return 1;
    }
    auto server = serve(pages);
    const std::string base = server->url("");
    const int rounds = 3;
    const ParseAndLoad m = parseAndLoad(pages, base, rounds);
    const double curl = curlMs(pages, base, rounds);

    const double n = static_cast<double>(pages.size());
    std::printf("pages: %zu, %.1f MiB of HTML, %zu nodes, %zu cells, %zu failed loads\n", pages.size(),
                static_cast<double>(bytes) / (1 << 20), m.nodes, m.cells, m.failures);
    std::printf("bare parse + walk : %9.1f ms  %7.3f ms/page\n", m.parseMs, m.parseMs / n);
    std::printf("bare parse cpu    : %9.1f ms  %7.3f ms/page\n", m.parseCpuMs, m.parseCpuMs / n);
    std::printf("source load       : %9.1f ms  %7.3f ms/page  ratio to parse %.2fx (target <= 1.5x)\n", m.loadMs,
                m.loadMs / n, m.loadMs / m.parseMs);
    std::printf("source load cpu   : %9.1f ms  %7.3f ms/page  ratio to parse's cpu %.2fx\n", m.loadCpuMs,
                m.loadCpuMs / n, m.loadCpuMs / m.parseCpuMs);
    std::printf("curl command line : %9.1f ms  %7.3f ms/page  ratio to parse %.2fx\n", curl, curl / n,
                curl / m.parseMs);
    return m.failures == 0 ? 0 : 1;
}

int generateMode(const std::filesystem::path& file, double mib) {
    std::ofstream out(file, std::ios::binary);
    out << "<!DOCTYPE html><html><head><meta charset=utf-8><title>Generated table</title></head><body>\n"
           "<h1>Inventory</h1><table>\n<tr><th>Id</th><th>Item</th><th>Price</th><th>Date</th><th>Share</th>"
           "<th>Note</th></tr>\n";
    const auto target = static_cast<std::size_t>(mib * (1 << 20));
    std::size_t written = 0;
    for (unsigned i = 1; written < target; ++i) {
        char row[512];
        int len = std::snprintf(row, sizeof row,
                                "<tr><td>%u</td><td>Item <b>%u</b></td><td>$%u.%02u</td><td>%u/%u/20%02u</td>"
                                "<td>%u.%u%%</td><td>note &amp; text for row %u</td></tr>\n",
                                i, i, i % 5000, i % 100, i % 12 + 1, i % 28 + 1, i % 30, i % 100, i % 10, i);
        out.write(row, len);
        written += static_cast<std::size_t>(len);
    }
    out << "</table></body></html>\n";
    return 0;
}

int bigMode(const std::string& mode, const std::filesystem::path& file) {
    std::string page = readFile(file);
    if (mode == "parse") {
        auto start = Clock::now();
        std::size_t nodes = bareParse(page);
        double ms = msSince(start);
        std::printf("bare parse + walk : %9.1f ms  peak %7.1f MiB  (%zu nodes)\n", ms,
                    static_cast<double>(peakRssKiB()) / 1024.0, nodes);
        return 0;
    }
    std::map<std::string, std::string> pages;
    pages.emplace("/big.html", std::move(page));
    auto server = serve(pages);
    qf::engine::FetchLimits limits;
    auto source = qf::engine::makeWebPageSource(limits);
    auto start = Clock::now();
    const double cpu = cpuMs();
    std::size_t cells = 0;
    {
        qf::engine::PageGrid grid = loadPage(*source, server->url("/big.html"));
        cells = cellCount(std::move(grid));
    }
    double ms = msSince(start);
    std::printf("source load       : %9.1f ms  peak %7.1f MiB  (%zu cells)  cpu %9.1f ms\n", ms,
                static_cast<double>(peakRssKiB()) / 1024.0, cells, cpuMs() - cpu);
    return 0;
}

// The source's loads alone, for two builds taking turns (bench/web.sh --against).
int loadsMode(const std::filesystem::path& dir, int rounds) {
    const ServedFolder served(dir);
    const auto& pages = served.pages;
    double best = 1e300, bestCpu = 1e300;
    std::size_t cells = 0;
    for (int r = 0; r < rounds; ++r) {
        const auto start = Clock::now();
        const double cpu = cpuMs();
        cells = 0;
        for (const auto& [path, body] : pages) cells += cellCount(loadPage(*served.source, served.base + path));
        best = std::min(best, msSince(start));
        bestCpu = std::min(bestCpu, cpuMs() - cpu);
    }
    const double n = static_cast<double>(pages.size());
    std::printf("loads: %zu pages  %zu cells  %.3f ms/page  cpu %.3f ms/page\n", pages.size(), cells, best / n,
                bestCpu / n);
    return 0;
}

#if defined(QF_VALUE_READING_SWITCH)
// Processor time of this thread alone, in ms.
double threadCpuMs() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return (static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
            static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3);
}

// The cells of every page laid out in this thread; a page the layout refuses
// gives none.
std::size_t layOutEach(const std::map<std::string, std::string>& pages) {
    std::size_t cells = 0;
    for (const auto& [path, body] : pages) {
        try {
            cells += cellCount(qf::engine::layoutHtml(body, {}));
        } catch (const std::exception&) {}
    }
    return cells;
}

int valuesMode(const std::filesystem::path& dir, int rounds) {
    const ServedFolder served(dir);
    const auto& pages = served.pages;
    double layout[2] = {1e300, 1e300}, load[2] = {1e300, 1e300};  // [values off, values on]
    double firstLayout[2] = {0, 0};  // the first round's: with the data read once per process
    std::size_t cells[2] = {0, 0};
    for (int r = 0; r < rounds; ++r) {
        for (const int on : {0, 1}) {
            qf::engine::setValueReading(on != 0);
            double cpu = threadCpuMs();
            cells[on] = layOutEach(pages);
            layout[on] = std::min(layout[on], threadCpuMs() - cpu);
            if (r == 0) firstLayout[on] = threadCpuMs() - cpu;
            cpu = cpuMs();
            for (const auto& [path, body] : pages) {
                try {
                    cellCount(loadPage(*served.source, served.base + path));
                } catch (const std::exception&) {}
            }
            load[on] = std::min(load[on], cpuMs() - cpu);
        }
    }
    qf::engine::setValueReading(true);
    const double n = static_cast<double>(pages.size());
    std::printf("pages: %zu, %.1f MiB of HTML, %zu cells, best of %d rounds, processor time\n", pages.size(),
                static_cast<double>(served.bytes) / (1 << 20), cells[1], rounds);
    std::printf("layout, values off : %9.1f ms  %7.3f ms/page\n", layout[0], layout[0] / n);
    std::printf("layout, values on  : %9.1f ms  %7.3f ms/page  values %+.1f%%\n", layout[1], layout[1] / n,
                (layout[1] / layout[0] - 1) * 100);
    std::printf("first round layout : values off %.1f ms, on %.1f ms  values %+.1f%% (CLDR's data read once)\n",
                firstLayout[0], firstLayout[1], (firstLayout[1] / firstLayout[0] - 1) * 100);
    std::printf("load, values off   : %9.1f ms  %7.3f ms/page\n", load[0], load[0] / n);
    std::printf("load, values on    : %9.1f ms  %7.3f ms/page  values %+.1f%% (target <= +5%%)\n", load[1], load[1] / n,
                (load[1] / load[0] - 1) * 100);
    return 0;
}

int layoutsMode(const std::filesystem::path& dir, bool values) {
    std::size_t bytes = 0;
    const std::map<std::string, std::string> pages = readPages(dir, bytes);
    qf::engine::setValueReading(values);
    const double cpu = threadCpuMs();
    const std::size_t cells = layOutEach(pages);
    std::printf("layouts: %zu pages  %zu cells  values %s  cpu %.1f ms\n", pages.size(), cells, values ? "on" : "off",
                threadCpuMs() - cpu);
    return 0;
}
#else
int valuesMode(const std::filesystem::path&, int) {
    std::fprintf(stderr, "this revision cannot turn values off\n");
    return 2;
}
int layoutsMode(const std::filesystem::path& dir, bool) { return valuesMode(dir, 0); }
#endif

// Every page's cells: "<page> <row> <column> <kind> <value> <format>", numbers
// with all their digits.
int cellsMode(const std::filesystem::path& dir) {
    const ServedFolder served(dir);
    for (const auto& [path, body] : served.pages) {
        qf::engine::PageGrid grid = loadPage(*served.source, served.base + path);
        qf::engine::SheetCells sheet;
        qf::engine::placeGrid(sheet, 0, 0, 0, grid);
        sheet.forEachCell([&](std::int64_t row, std::int32_t column, const qf::engine::CellView& cell) {
            if (cell.kind == qf::engine::CellValue::Kind::Number)
                std::printf("%s\t%lld\t%d\tn\t%.17g\t%d\n", path.c_str(), static_cast<long long>(row), column,
                            cell.number, static_cast<int>(cell.format));
            else
                std::printf("%s\t%lld\t%d\ts\t%.*s\n", path.c_str(), static_cast<long long>(row), column,
                            static_cast<int>(std::min<std::size_t>(cell.text.size(), 200)), cell.text.data());
        });
    }
    return 0;
}

// Which of the pages the automatic rule would render in a browser, with its
// reason: of ordinary documentation, none should be. (The program is built
// against earlier revisions too, which have no such rule.)
#if __has_include("engine/web/script_signals.h")
int scriptsMode(const std::filesystem::path& dir) {
    std::size_t bytes = 0;
    const std::map<std::string, std::string> pages = readPages(dir, bytes);
    std::size_t rendered = 0;
    for (const auto& [path, body] : pages) {
        qf::engine::ScriptSignals facts;
        try {
            qf::engine::layoutHtml(body, {}, {}, &facts);
        } catch (const std::exception&) {
            continue;
        }
        if (const auto reason = qf::engine::scriptBuiltReason(facts)) {
            ++rendered;
            std::printf("would render %s: %.*s\n", path.c_str(), static_cast<int>(reason->size()), reason->data());
        }
    }
    std::printf("pages the automatic rule would render: %zu of %zu\n", rendered, pages.size());
    return 0;
}
#else
int scriptsMode(const std::filesystem::path&) {
    std::fprintf(stderr, "this revision has no rule for pages built by scripts\n");
    return 2;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "pages") return pagesMode(args[1]);
    if (args.size() == 3 && args[0] == "generate") return generateMode(args[1], std::atof(args[2].c_str()));
    if (args.size() == 3 && args[0] == "big") return bigMode(args[1], args[2]);
    if (args.size() == 3 && args[0] == "loads") return loadsMode(args[1], std::atoi(args[2].c_str()));
    if (args.size() == 2 && args[0] == "cells") return cellsMode(args[1]);
    if (args.size() == 2 && args[0] == "scripts") return scriptsMode(args[1]);
    if (args.size() == 3 && args[0] == "values") return valuesMode(args[1], std::atoi(args[2].c_str()));
    if (args.size() == 3 && args[0] == "layouts") return layoutsMode(args[1], args[2] == "on");
    std::cerr << "usage: bench_web pages <dir> | generate <file> <MiB> | big parse|load <file> | loads <dir> <rounds>"
                 " | cells <dir> | scripts <dir> | values <dir> <rounds>"
                 " | layouts <dir> on|off\n";
    return 2;
}
