// The URL list's commands on large generated lists, each beside a baseline
// measured in the same run on the same file: `wc -l` for loading, `grep -c -i
// -F` for the filters. Also the resident memory against the file's size.
//
//     urllist_bench <folder for the generated files> [entries ...]

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <deque>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "process_status.h"
#include "urllist/url_list_commands.h"

namespace {

// Window services that answer from a queue and let the real window run its
// events; records the longest time between two event rounds.
class BenchServices : public qf::WindowServices {
public:
    std::deque<std::string> inputs, files;
    qint64 longestGapNs = 0;

    qf::MessageAnswer messageBox(const std::string& text, qf::MessageButtons, qf::MessageIcon,
                                 const std::string&) override {
        std::fprintf(stderr, "unexpected message: %s\n", text.c_str());
        return qf::MessageAnswer::Ok;
    }
    std::string inputBox(const std::string&, const std::string&, const std::string&) override { return take(inputs); }
    std::string openFileDialog(const qf::FileDialogRequest&) override { return take(files); }
    void processPendingEvents() override {
        if (sinceEvents_.isValid()) longestGapNs = std::max(longestGapNs, sinceEvents_.nsecsElapsed());
        QApplication::processEvents();
        sinceEvents_.start();
    }
    bool openDocument(const std::string&) override { return false; }
    void startGapClock() {
        longestGapNs = 0;
        sinceEvents_.invalidate();
    }
    // The time from the last event round to the end of the command counts too.
    void stopGapClock() {
        if (sinceEvents_.isValid()) longestGapNs = std::max(longestGapNs, sinceEvents_.nsecsElapsed());
        sinceEvents_.invalidate();
    }

private:
    static std::string take(std::deque<std::string>& q) {
        if (q.empty()) return {};
        std::string s = std::move(q.front());
        q.pop_front();
        return s;
    }
    QElapsedTimer sinceEvents_;
};

// Entries of about 40 bytes; every other one holds "news".
std::size_t generate(const std::string& path, int entries) {
    std::ofstream out(path, std::ios::binary);
    char line[96];
    std::size_t bytes = 0;
    for (int k = 0; k < entries; ++k) {
        const int n =
            std::snprintf(line, sizeof line,
                          k % 2 ? "http://www.shop%07d.example.com/p\r\n" : "http://www.News%07d.example.org/a\r\n", k);
        out.write(line, n);
        bytes += static_cast<std::size_t>(n);
    }
    return bytes;
}

// The best of three runs of a command line, in milliseconds.
double baselineMs(const QString& program, const QStringList& arguments) {
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer t;
        t.start();
        QProcess p;
        p.start(program, arguments);
        p.waitForFinished(-1);
        best = std::min(best, static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    return best;
}

template <class F>
double timeMs(F&& f) {
    QElapsedTimer t;
    t.start();
    f();
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

void row(const char* what, double ms, double baseline, const char* baselineName) {
    if (baseline > 0)
        std::printf("  %-34s %9.2f ms   %-18s %8.2f ms   ratio %5.2f\n", what, ms, baselineName, baseline,
                    ms / baseline);
    else
        std::printf("  %-34s %9.2f ms\n", what, ms);
}

// The list control, its commands and services that answer them, as the window
// holds them; measures each command on one generated file.
class ListBench {
public:
    explicit ListBench(const std::string& folder) {
        view_.list().addColumn(QStringLiteral("URL(s)"));
        view_.setColumnWidth(0, 433);
        view_.resize(456, 169);
        view_.show();
        commands_ = std::make_unique<qf::UrlListCommands>(view_, ui_, folder, qf::ListCommandLocations{});
        QApplication::processEvents();
    }

    void run(int entries, const std::string& path, std::size_t fileBytes) {
        const QString file = QString::fromStdString(path);
        const double wc = baselineMs(QStringLiteral("wc"), {QStringLiteral("-l"), file});
        const double grep = baselineMs(QStringLiteral("grep"), {QStringLiteral("-c"), QStringLiteral("-i"),
                                                                QStringLiteral("-F"), QStringLiteral("news"), file});
        measureLoad(entries, path, fileBytes, wc);
        measureMoves();
        measureFilter("filter containing (half removed)", &qf::UrlListCommands::removeContaining, entries / 2, grep);
        commands_->clearList();
        load(path);
        QApplication::processEvents();
        measureFilter("filter not containing", &qf::UrlListCommands::removeNotContaining, (entries + 1) / 2, grep);
        measureClear();
    }

private:
    void load(const std::string& path) {
        ui_.files.push_back(path);
        commands_->loadFromTextFile();
    }

    void checkCount(int expected) const {
        if (view_.list().count() != expected) std::printf("  WRONG COUNT %d\n", view_.list().count());
    }

    // Loading: the handler, then the window's first round of events.
    void measureLoad(int entries, const std::string& path, std::size_t fileBytes, double wc) {
        const long before = residentKb();
        const double loadMs = timeMs([&] { load(path); });
        const double loadShownMs = loadMs + timeMs([] { QApplication::processEvents(); });
        const long after = residentKb();
        checkCount(entries);
        row("load from one file", loadMs, wc, "wc -l");
        row("load, shown", loadShownMs, wc, "wc -l");
        const double bytes = static_cast<double>(fileBytes);
        std::printf("  resident memory for the list       %7.1f MB = %.2f x file (process %.1f MB = %.2f x)\n",
                    static_cast<double>(after - before) / 1024.0, static_cast<double>(after - before) * 1024.0 / bytes,
                    static_cast<double>(after) / 1024.0, static_cast<double>(after) * 1024.0 / bytes);
    }

    void measureMoves() {
        view_.selectPosition(1);
        const double moveMs = timeMs([&] { commands_->moveDown(); });
        const double moveShownMs = moveMs + timeMs([] { QApplication::processEvents(); });
        row("Move Down of the first entry", moveMs, 0, "");
        row("Move Down, shown", moveShownMs, 0, "");
        row("the same entry down again", timeMs([&] { commands_->moveDown(); }), 0, "");
        QApplication::processEvents();
    }

    // A filter by "NEWS", which every other entry holds.
    void measureFilter(const char* what, void (qf::UrlListCommands::*filter)(), int expected, double grep) {
        ui_.inputs.push_back("NEWS");
        ui_.startGapClock();
        const double ms = timeMs([&] { (commands_.get()->*filter)(); });
        ui_.stopGapClock();
        checkCount(expected);
        row(what, ms, grep, "grep -c -i -F");
        std::printf("  longest time without events        %9.2f ms\n", static_cast<double>(ui_.longestGapNs) / 1e6);
    }

    void measureClear() {
        const double clearMs = timeMs([&] { commands_->clearList(); });
        const double clearShownMs = clearMs + timeMs([] { QApplication::processEvents(); });
        row("Clear List", clearMs, 0, "");
        row("Clear List, shown", clearShownMs, 0, "");
    }

    BenchServices ui_;
    qf::UrlListView view_;
    std::unique_ptr<qf::UrlListCommands> commands_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <folder> [entries ...]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    std::vector<int> sizes;
    for (int k = 2; k < argc; ++k) sizes.push_back(std::atoi(argv[k]));
    if (sizes.empty()) sizes = {100000, 1000000};

    ListBench bench(folder);
    for (const int entries : sizes) {
        const std::string path = folder + "/urls-" + std::to_string(entries) + ".txt";
        const std::size_t fileBytes = generate(path, entries);
        std::printf("%d entries, file %.1f MB\n", entries, static_cast<double>(fileBytes) / 1048576.0);
        bench.run(entries, path, fileBytes);
        std::remove(path.c_str());
    }
    return 0;
}
