// The import run's own cost: a folder of HTML pages served on loopback is
// imported by the run (one sheet, then a sheet per page; once with a plain
// host, once through the real window offscreen) and, in the same process tree,
// imported page by page straight on the engine without the run. Each phase
// runs in a child process of its own so that its peak memory is its own.
//
//     import_run_bench <folder with .html files> [page count]

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QRadioButton>
#include <QTemporaryDir>

#include "app/form1.h"
#include "app/program_end.h"
#include "app/qt_window_services.h"
#include "app/settings_store.h"
#include "base/window_services.h"
#include "urllist/url_list_view.h"
#include "base/trap.h"
#include "engine/engine_spreadsheet.h"
#include "import/web_import.h"
#include "import/import_run.h"
#include "bench/html_pages.h"
#include "tests/import/loopback_server.h"
#include "process_status.h"

namespace fs = std::filesystem;

namespace {

// A window that shows nothing: no box is expected during the benchmark.
class QuietWindow : public qf::WindowServices {
public:
    int boxes = 0;
    std::string lastText;
    qf::MessageAnswer messageBox(const std::string& text, qf::MessageButtons, qf::MessageIcon,
                                 const std::string&) override {
        ++boxes;
        lastText = text;
        return qf::MessageAnswer::Ok;
    }
    std::string inputBox(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string openFileDialog(const qf::FileDialogRequest&) override { return {}; }
    void processPendingEvents() override {}
    bool openDocument(const std::string&) override { return true; }
};

class BenchList : public qf::ImportRunHost {
public:
    std::vector<std::string> entries;
    bool separate = false;
    std::function<void(double)> onProgress;
    int entryCount() const override { return static_cast<int>(entries.size()); }
    std::string entryText(int position) const override { return entries.at(static_cast<std::size_t>(position - 1)); }
    qf::SheetMode sheetMode() const override {
        return separate ? qf::SheetMode::SheetPerSite : qf::SheetMode::OneSheet;
    }
    void entryStarted(int number, int count, const std::string&) override {
        if (onProgress) onProgress(static_cast<double>(number) / count * 100.0);
    }
    void runFinished(const qf::RunSummary&) override {}
};

// Wraps the engine's workbooks to time finishing them (writing the file), so
// that the run's figures can be split into imports, writing and the rest.
class TimedWorkbook : public qf::NewWorkbook {
public:
    TimedWorkbook(std::unique_ptr<qf::NewWorkbook> inner, double& writing)
        : inner_(std::move(inner)), writing_(writing) {}
    void startWorkbook(qf::Trap& run) override { inner_->startWorkbook(run); }
    void keepFirstSheetOnly(qf::Trap& run) override { inner_->keepFirstSheetOnly(run); }
    bool importPage(const std::string& address, qf::Trap& webImport, std::string* reason) override {
        return inner_->importPage(address, webImport, reason);
    }
    void addSheetAfterLast() override { inner_->addSheetAfterLast(); }
    void deleteActiveSheet() override { inner_->deleteActiveSheet(); }
    std::string finish(qf::Trap& run) override {
        const auto start = std::chrono::steady_clock::now();
        std::string path = inner_->finish(run);
        writing_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return path;
    }
    qf::ReadAhead* readAhead() override { return inner_->readAhead(); }

private:
    std::unique_ptr<qf::NewWorkbook> inner_;
    double& writing_;
};

class TimedSpreadsheet : public qf::Spreadsheet {
public:
    TimedSpreadsheet(qf::Spreadsheet& inner, double& writing) : inner_(inner), writing_(writing) {}
    bool canStart() override { return inner_.canStart(); }
    bool instanceRunning() override { return inner_.instanceRunning(); }
    std::unique_ptr<qf::NewWorkbook> newWorkbook() override {
        return std::make_unique<TimedWorkbook>(inner_.newWorkbook(), writing_);
    }

private:
    qf::Spreadsheet& inner_;
    double& writing_;
};

struct Figures {
    double seconds = 0;       // the measured work
    double writeSeconds = 0;  // of which writing the workbook
    long peakKb = 0;
    long rssThirdKb = 0, rssEndKb = 0;  // resident size after a third and after all of the pages
};

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

qf::engine::EngineSettings settingsIn(const std::string& folder) {
    fs::create_directories(folder);
    qf::engine::EngineSettings settings;
    settings.documentsFolder = folder;
    return settings;
}

// The same imports, one page each, driven straight on the engine without the
// run (no progress, no yields, no sheets, no list).
Figures direct(const std::vector<std::string>& urls, const std::string& folder) {
    Figures f;
    qf::engine::EngineSpreadsheet spreadsheet(settingsIn(folder));
    QuietWindow window;
    qf::Trap trap(window, "bench ");
    const auto workbook = spreadsheet.newWorkbook();
    workbook->startWorkbook(trap);
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < urls.size(); ++i) {
        if (!qf::importWeb(*workbook, urls[i], window, qf::importRunLocations().webImport))
            std::cerr << "not read: " << urls[i] << "\n";
        if (i + 1 == urls.size() / 3) f.rssThirdKb = statusKb("VmRSS:");
    }
    f.seconds = since(start);
    f.rssEndKb = statusKb("VmRSS:");
    const auto writing = std::chrono::steady_clock::now();
    workbook->finish(trap);
    f.writeSeconds = since(writing);
    return f;
}

// The run of "Start Importing" over the same list.
Figures run(const std::vector<std::string>& urls, const std::string& folder, bool separate) {
    Figures f;
    qf::engine::EngineSpreadsheet engine(settingsIn(folder));
    TimedSpreadsheet spreadsheet(engine, f.writeSeconds);
    QuietWindow window;
    BenchList list;
    list.entries = urls;
    list.separate = separate;
    // The same sum as the run's: n / count * 100.
    const double third = static_cast<double>(urls.size() / 3 + 1) / static_cast<double>(urls.size()) * 100.0;
    const double last = 100.0;
    list.onProgress = [&](double value) {
        // The value of entry k is set before entry k is imported: k - 1 are done.
        if (value == third) f.rssThirdKb = statusKb("VmRSS:");
        if (value == last) f.rssEndKb = statusKb("VmRSS:");
    };
    const auto start = std::chrono::steady_clock::now();
    qf::runImport(list, window, spreadsheet, qf::importRunLocations());
    f.seconds = since(start);
    if (window.lastText.rfind("Done.\r\n\r\nThe workbook was saved as ", 0) != 0)
        std::cerr << "run ended with: " << window.lastText << "\n";
    return f;
}

// The window's own services, but boxes answered at once and nothing opened.
class BenchWindowServices : public qf::QtWindowServices {
public:
    std::string lastText;
    std::function<void()> onEvents;
    qf::MessageAnswer messageBox(const std::string& text, qf::MessageButtons, qf::MessageIcon,
                                 const std::string&) override {
        lastText = text;
        return qf::MessageAnswer::Ok;
    }
    void processPendingEvents() override {
        qf::QtWindowServices::processPendingEvents();
        if (onEvents) onEvents();
    }
    bool openDocument(const std::string&) override { return true; }
};

class NoEnd : public qf::ProgramEnd {
public:
    void now() override {}
};

// The run as "Start Importing" does it: the real window (offscreen), its list,
// progress bar and event processing.
Figures windowRun(const std::vector<std::string>& urls, const std::string& folder, bool separate) {
    Figures f;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "import_run_bench";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    qf::engine::EngineSpreadsheet engine(settingsIn(folder));
    TimedSpreadsheet spreadsheet(engine, f.writeSeconds);
    BenchWindowServices ui;
    QTemporaryDir settingsFolder;
    qf::SettingsStore settings(settingsFolder.path());
    NoEnd end;
    qf::Form1 form(ui, spreadsheet, settings, end, settingsFolder.path().toStdString());
    if (!form.open()) return f;
    ui.setWindow(&form);
    for (const auto& url : urls) form.listView().list().appendUtf8(url);
    (separate ? form.option2() : form.option1()).click();
    int rounds = 0;
    ui.onEvents = [&] {
        // Two rounds of events per entry.
        ++rounds;
        if (rounds == 2 * static_cast<int>(urls.size() / 3)) f.rssThirdKb = statusKb("VmRSS:");
        if (rounds == 2 * static_cast<int>(urls.size())) f.rssEndKb = statusKb("VmRSS:");
    };
    const auto start = std::chrono::steady_clock::now();
    form.PushButton2_Click();
    f.seconds = since(start);
    if (ui.lastText.rfind("Done.\r\n\r\nThe workbook was saved as ", 0) != 0)
        std::cerr << "run ended with: " << ui.lastText << "\n";
    return f;
}

// Runs a phase in a child process and reads its figures back.
Figures onceInChild(const std::function<Figures()>& phase) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        Figures f = phase();
        f.peakKb = statusKb("VmHWM:");
        const auto written = write(fds[1], &f, sizeof f);
        _exit(written == sizeof f ? 0 : 1);
    }
    close(fds[1]);
    Figures f;
    const auto got = read(fds[0], &f, sizeof f);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (got != sizeof f) std::cerr << "a phase failed\n";
    return f;
}

void print(const char* name, const Figures& f, const Figures& base, std::size_t pages) {
    std::printf(
        "%-28s %8.3f s  %6.2f ms/page  ratio %.2f  peak %6.1f MiB (%.2fx)  resident %6.1f -> %6.1f MiB "
        "(%.1f KiB/page)\n",
        name, f.seconds, 1000 * f.seconds / static_cast<double>(pages), f.seconds / base.seconds,
        static_cast<double>(f.peakKb) / 1024, static_cast<double>(f.peakKb) / static_cast<double>(base.peakKb),
        static_cast<double>(f.rssThirdKb) / 1024, static_cast<double>(f.rssEndKb) / 1024,
        static_cast<double>(f.rssEndKb - f.rssThirdKb) / (static_cast<double>(pages) * 2 / 3));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: import_run_bench <folder with .html files> [page count]\n";
        return 2;
    }
    const std::size_t count = argc > 2 ? std::stoul(argv[2]) : 300;
    qf::testing::LoopbackServer server;
    const qf::bench::ServedPages served = qf::bench::serveHtmlPages(argv[1], count, server);
    if (served.urls.empty()) return 2;
    const std::vector<std::string>& urls = served.urls;
    const std::uintmax_t bytes = served.bytes;

    const fs::path out = fs::temp_directory_path() / ("quillfen-bench-" + std::to_string(getpid()));
    fs::create_directories(out);
    std::printf("%zu pages, %.1f MiB of HTML\n", urls.size(), static_cast<double>(bytes) / (1 << 20));
    // A first round warms the server, the page cache and the allocator; then five
    // rounds of the three phases in turn, the best of each kept (the machine is
    // shared: the fastest is the least disturbed).
    const auto directPhase = [&] { return direct(urls, (out / "direct").string()); };
    const auto onePhase = [&] { return run(urls, (out / "one").string(), false); };
    const auto separatePhase = [&] { return run(urls, (out / "separate").string(), true); };
    const auto windowOnePhase = [&] { return windowRun(urls, (out / "window-one").string(), false); };
    const auto windowSeparatePhase = [&] { return windowRun(urls, (out / "window-separate").string(), true); };
    onceInChild(directPhase);
    Figures base, one, separate, windowOne, windowSeparate;
    for (int round = 0; round < 5; ++round) {
        for (auto [best, phase] : {std::pair<Figures*, std::function<Figures()>>{&base, directPhase},
                                   {&one, onePhase},
                                   {&separate, separatePhase},
                                   {&windowOne, windowOnePhase},
                                   {&windowSeparate, windowSeparatePhase}}) {
            const Figures f = onceInChild(phase);
            if (round == 0 || f.seconds < best->seconds) *best = f;
        }
    }
    print("direct imports (baseline)", base, base, urls.size());
    std::printf("%-28s %8.3f s (not in the figure above)\n", "  then writing the .xlsx", base.writeSeconds);
    print("run, one sheet", one, base, urls.size());
    std::printf("%-28s %8.3f s\n", "  of which writing the .xlsx", one.writeSeconds);
    print("run, a sheet per page", separate, base, urls.size());
    std::printf("%-28s %8.3f s\n", "  of which writing the .xlsx", separate.writeSeconds);
    print("window's run, one sheet", windowOne, base, urls.size());
    std::printf("%-28s %8.3f s\n", "  of which writing the .xlsx", windowOne.writeSeconds);
    print("window's run, sheet per page", windowSeparate, base, urls.size());
    std::printf("%-28s %8.3f s\n", "  of which writing the .xlsx", windowSeparate.writeSeconds);
    const double baseWithWrite = base.seconds + base.writeSeconds;
    std::printf("run / (direct imports + write), target <= 1.30: one sheet %.2f, a sheet per page %.2f\n",
                one.seconds / baseWithWrite, separate.seconds / (base.seconds + separate.writeSeconds));
    std::printf("window's run / (direct imports + write):          one sheet %.2f, a sheet per page %.2f\n",
                windowOne.seconds / (base.seconds + windowOne.writeSeconds),
                windowSeparate.seconds / (base.seconds + windowSeparate.writeSeconds));
    fs::remove_all(out);
    return 0;
}
