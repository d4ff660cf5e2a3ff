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
#include <string>
#include <vector>

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
    std::string inputBox(const std::string&, const std::string&, const std::string&) override {
        return take(inputs);
    }
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

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

// Entries of about 40 bytes; every other one holds "news".
std::size_t generate(const std::string& path, int entries) {
    std::ofstream out(path, std::ios::binary);
    char line[96];
    std::size_t bytes = 0;
    for (int k = 0; k < entries; ++k) {
        const int n = std::snprintf(line, sizeof line, k % 2 ? "http://www.shop%07d.example.com/p\r\n"
                                                             : "http://www.News%07d.example.org/a\r\n",
                                    k);
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
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

template <class F>
double timeMs(F&& f) {
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed() / 1e6;
}

void row(const char* what, double ms, double baseline, const char* baselineName) {
    if (baseline > 0)
        std::printf("  %-34s %9.2f ms   %-18s %8.2f ms   ratio %5.2f\n", what, ms, baselineName, baseline,
                    ms / baseline);
    else
        std::printf("  %-34s %9.2f ms\n", what, ms);
}

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

    BenchServices ui;
    qf::UrlListView view;
    view.list().addColumn("URL(s)");
    view.setColumnWidth(0, 433);
    view.resize(456, 169);
    view.show();
    qf::UrlListCommands commands(view, ui, folder);
    QApplication::processEvents();

    for (const int entries : sizes) {
        const std::string path = folder + "/urls-" + std::to_string(entries) + ".txt";
        const std::size_t fileBytes = generate(path, entries);
        const QString file = QString::fromStdString(path);
        std::printf("%d entries, file %.1f MB\n", entries, fileBytes / 1048576.0);

        const double wc = baselineMs("wc", {"-l", file});
        const double grep = baselineMs("grep", {"-c", "-i", "-F", "news", file});

        auto load = [&] {
            ui.files.push_back(path);
            commands.loadFromTextFile();
        };
        // Loading: the handler, then the window's first round of events.
        const long before = residentKiB();
        const double loadMs = timeMs(load);
        const double loadShownMs = loadMs + timeMs([] { QApplication::processEvents(); });
        const long after = residentKiB();
        if (view.list().count() != entries) std::printf("  WRONG COUNT %d\n", view.list().count());
        row("load from one file", loadMs, wc, "wc -l");
        row("load, shown", loadShownMs, wc, "wc -l");
        std::printf("  resident memory for the list       %7.1f MB = %.2f x file (process %.1f MB = %.2f x)\n",
                    (after - before) / 1024.0, (after - before) * 1024.0 / fileBytes, after / 1024.0,
                    after * 1024.0 / fileBytes);

        view.selectPosition(1);
        const double moveMs = timeMs([&] { commands.moveDown(); });
        const double moveShownMs = moveMs + timeMs([] { QApplication::processEvents(); });
        row("Move Down of the first entry", moveMs, 0, "");
        row("Move Down, shown", moveShownMs, 0, "");
        row("the same entry down again", timeMs([&] { commands.moveDown(); }), 0, "");
        QApplication::processEvents();

        ui.inputs.push_back("NEWS");
        ui.startGapClock();
        const double containingMs = timeMs([&] { commands.removeContaining(); });
        ui.stopGapClock();
        if (view.list().count() != entries / 2) std::printf("  WRONG COUNT %d\n", view.list().count());
        row("filter containing (half removed)", containingMs, grep, "grep -c -i -F");
        std::printf("  longest time without events        %9.2f ms\n", ui.longestGapNs / 1e6);

        commands.clearList();
        load();
        QApplication::processEvents();
        ui.inputs.push_back("NEWS");
        ui.startGapClock();
        const double notContainingMs = timeMs([&] { commands.removeNotContaining(); });
        ui.stopGapClock();
        if (view.list().count() != (entries + 1) / 2) std::printf("  WRONG COUNT %d\n", view.list().count());
        row("filter not containing", notContainingMs, grep, "grep -c -i -F");
        std::printf("  longest time without events        %9.2f ms\n", ui.longestGapNs / 1e6);

        const double clearMs = timeMs([&] { commands.clearList(); });
        const double clearShownMs = clearMs + timeMs([] { QApplication::processEvents(); });
        row("Clear List", clearMs, 0, "");
        row("Clear List, shown", clearShownMs, 0, "");
        std::remove(path.c_str());
    }
    return 0;
}
