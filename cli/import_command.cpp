#include "import_command.h"

#include <signal.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <system_error>

#include "base/failure.h"
#include "base/text.h"
#include "cli/command_line.h"
#include "cli/console_services.h"
#include "import/import_run.h"
#include "import/web_import.h"
#include "platform/platform.h"
#include "urllist/store/url_store.h"
#include "urllist/store/url_text_file.h"

namespace qf::cli {

namespace {

// Set by Ctrl+C; the run stops after the entry in hand.
volatile std::sig_atomic_t stopSignalled = 0;

extern "C" void onInterrupt(int) {
    stopSignalled = 1;
    // A second Ctrl+C ends the program at once.
    std::signal(SIGINT, SIG_DFL);
}

// Catches Ctrl+C for as long as it lives.
class InterruptCatcher {
public:
    InterruptCatcher() {
        stopSignalled = 0;
        previous_ = std::signal(SIGINT, onInterrupt);
    }
    ~InterruptCatcher() { std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_); }
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

private:
    void (*previous_)(int);
};

void print(std::FILE* file, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), file);
    std::fflush(file);
}

// A text from a list file or a page as it may be shown on a terminal.
std::string printable(std::string text) {
    for (char& c : text) c = printableChar(c);
    return text;
}

// At most width characters of a UTF-8 text, cut at a character boundary.
std::string fitted(const std::string& text, std::size_t width) { return std::string(utf8Prefix(text, width)); }

// The progress display on standard error: on a terminal one line rewritten in
// place, elsewhere one line per entry.
class Progress {
public:
    Progress(std::FILE* err, bool terminal) : err_(err), terminal_(terminal), start_(Clock::now()) {}

    void entry(int k, int n, double percent, const std::string& address) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start_).count();
        char head[96];
        std::snprintf(head, sizeof head, "[%d/%d] %3d%% %lld:%02lld ", k, n, static_cast<int>(percent),
                      static_cast<long long>(seconds / 60), static_cast<long long>(seconds % 60));
        const std::string line = head + printable(address);
        if (terminal_) {
            print(err_, "\r\x1b[K" + fitted(line, platform::terminalWidth(err_) - 1));
            shown_ = true;
        } else {
            print(err_, line + "\n");
        }
    }

    // Ends the line in place so that other text starts on a line of its own.
    void clear() {
        if (!shown_) return;
        print(err_, "\r\x1b[K");
        shown_ = false;
    }

private:
    using Clock = std::chrono::steady_clock;
    std::FILE* err_;
    bool terminal_;
    Clock::time_point start_;
    bool shown_ = false;
};

// The run's host: the entries of the list files, the chosen sheet mode, the
// progress on standard error. Owned by the main thread.
class ConsoleHost : public ImportRunHost {
public:
    ConsoleHost(const UrlStore& list, SheetMode mode, Progress& progress, std::FILE* err)
        : list_(list), mode_(mode), progress_(progress), err_(err) {}

    int entryCount() const override { return list_.count(); }
    std::string entryText(int position) const override { return std::string(list_.utf8(position)); }
    SheetMode sheetMode() const override { return mode_; }
    bool stopRequested() const override { return stopSignalled != 0; }
    // Each unreadable entry has had its line, and the path and a stop are told after the run.
    bool showsClosingBox() const override { return false; }
    void entryStarted(int number, int count, const std::string& entry) override {
        started_ = number;
        const double percent = count > 0 ? static_cast<double>(number) / count * 100.0 : 0.0;
        progress_.entry(number, count, percent, stripPath(entry));
    }
    void entryNote(int number, const std::string& entry, const std::string& note) override {
        progress_.clear();
        print(err_,
              "quillfen: entry " + std::to_string(number) + ": " + printable(entry) + ": " + printable(note) + "\n");
    }
    void entryFailed(int number, const std::string& entry, const std::string& reason) override {
        progress_.clear();
        print(err_, "quillfen: entry " + std::to_string(number) + " could not be read: " + printable(entry) + ": " +
                        printable(reason) + "\n");
    }
    void runFinished(const RunSummary& summary) override {
        progress_.clear();
        summary_ = summary;
        if (summary.sheetsAddedForRoom > 0)
            print(err_, "quillfen: the pages needed " + std::to_string(summary.sheetsAddedForRoom + 1) +
                            " sheets: a sheet holds 1,048,576 rows\n");
        for (const std::string& note : summary.notes) print(err_, "quillfen: " + printable(note) + "\n");
    }

    const RunSummary& summary() const { return summary_; }
    int entriesStarted() const { return started_; }

private:
    const UrlStore& list_;
    SheetMode mode_;
    Progress& progress_;
    std::FILE* err_;
    int started_ = 0;
    RunSummary summary_;
};

// Takes the one message the list file reader may show instead of showing it.
class ListFileServices : public ConsoleServices {
public:
    MessageAnswer messageBox(const std::string& text, MessageButtons buttons, MessageIcon,
                             const std::string&) override {
        message = text;
        return defaultAnswer(buttons);
    }
    std::string message;
};

// Appends the entries of the list file, as "Load URLs From Text File" reads one.
// Returns the reason when the file cannot be read.
std::string loadListFile(UrlStore& list, const std::string& path) {
    ListFileServices services;
    try {
        readUrlTextFile(list, services, cleanPath(path));
    } catch (const std::exception& failure) {
        return failure.what();
    }
    return services.message;
}

std::filesystem::path utf8Path(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string utf8Text(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Why the workbook cannot be written to output, found before the first page
// is fetched; empty when nothing stands in the way.
std::string outputProblem(const std::string& output) {
    namespace fs = std::filesystem;
    const fs::path path = utf8Path(output);
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    const std::string folderText = utf8Text(folder);
    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    if (status.type() == fs::file_type::not_found) return "the folder " + folderText + " does not exist";
    if (error) return "the folder " + folderText + " cannot be reached (" + error.message() + ")";
    if (!fs::is_directory(status)) return folderText + " is not a folder";
    if (fs::is_directory(fs::status(path, error))) return "it is a folder";
    if (const std::string refusal = platform::folderWriteRefusal(folderText); !refusal.empty())
        return "the folder " + folderText + " may not be written (" + refusal + ")";
    return {};
}

int refuse(const Environment& env, const std::string& why) {
    print(env.err, "quillfen: " + why + "\n");
    return exit_code::kBadArguments;
}

int runImportCommand(const Options& options, const Environment& env) {
    UrlStore list;
    for (const std::string& file : options.files) {
        const std::string reason = loadListFile(list, file);
        if (!reason.empty()) return refuse(env, "cannot read the list file " + file + ": " + reason);
    }
    if (list.count() == 0) return refuse(env, "the list files hold no entries");
    if (!options.locale.empty() && env.knownLocale && !env.knownLocale(options.locale))
        return refuse(env, "unknown locale " + options.locale + "; give a language tag, such as de-CH");
    if (options.scripts == "always" && env.browserInstalled && !env.browserInstalled())
        return refuse(env, "--scripts always needs a browser to render pages, and none is installed: install " +
                               env.browserToInstall);
    if (env.requestProblem)
        if (const std::string problem = env.requestProblem(options); !problem.empty()) return refuse(env, problem);
    if (env.requestWarnings)
        for (const std::string& warning : env.requestWarnings(options))
            print(env.err, "quillfen: warning: " + warning + "\n");
    if (!options.output.empty() && !options.force) {
        // A name the file system cannot tell about is left to the writer, which never replaces.
        std::error_code error;
        const auto type = std::filesystem::symlink_status(options.output, error).type();
        if (type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none)
            return refuse(env, options.output + " already exists; give --force to replace it");
    }
    if (!options.output.empty()) {
        const std::string problem = outputProblem(options.output);
        if (!problem.empty()) return refuse(env, "cannot write the workbook to " + options.output + ": " + problem);
    }

    const SheetMode mode = options.sheetMode ? *options.sheetMode : env.rememberedSheetMode();
    const std::unique_ptr<Spreadsheet> spreadsheet = env.makeSpreadsheet(options);

    Progress progress(env.err, env.errIsTerminal ? *env.errIsTerminal : platform::isTerminal(env.err));
    ConsoleServices ui(env.err, env.runLocations);
    ui.setBeforeMessage([&progress] { progress.clear(); });
    ConsoleHost host(list, mode, progress, env.err);
    bool stopped = false;
    {
        InterruptCatcher catcher;
        runImport(host, ui, *spreadsheet, env.runLocations);
        stopped = stopSignalled != 0;
    }
    progress.clear();
    const std::string& written = host.summary().workbook;
    if (written.empty()) {
        print(env.err, "quillfen: the workbook was not written\n");
        return exit_code::kNotWritten;
    }
    print(env.out, written + "\n");
    if (stopped)
        print(env.err, "quillfen: stopped after entry " + std::to_string(host.entriesStarted()) + " of " +
                           std::to_string(list.count()) + "; the workbook holds what was imported\n");
    if (options.open && !ui.openDocument(written))
        print(env.err, "quillfen: the workbook could not be opened on the desktop\n");
    if (stopped) return exit_code::kStopped;
    return host.summary().unreadable > 0 ? exit_code::kSomeUnreadable : exit_code::kAllRead;
}

}  // namespace

int runWithoutWindow(const std::vector<std::string>& arguments, const Environment& environment) {
    const ParseResult parsed = parseArguments(arguments);
    if (!parsed.error.empty()) {
        print(environment.err, refusedArgumentsText(parsed.error));
        return exit_code::kBadArguments;
    }
    switch (parsed.options.action) {
        case Action::Help: print(environment.out, usageText()); return exit_code::kAllRead;
        case Action::Version: print(environment.out, versionText()); return exit_code::kAllRead;
        case Action::Import: return runImportCommand(parsed.options, environment);
        case Action::Window: break;
    }
    return refuse(environment, "this command line opens a window");
}

}  // namespace qf::cli
