// quillfen --import as a process of its own against the same imports driven
// straight on the engine and against the HTML parser's one-core bare parse of
// the same pages (and that parse spread over every core, the floor), over a
// folder of HTML pages served on loopback; and the program's start-up: from
// starting the process to the first request reaching the server, beside curl's.
//
//     command_line_bench <quillfen executable> <folder with .html files> [page count] [--imports-only]
//
// --imports-only leaves the start-up out (a second set of pages in the same run).

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bare_parse.h"
#include "base/trap.h"
#include "base/window_services.h"
#include "engine/engine_spreadsheet.h"
#include "import/web_import.h"
#include "bench/html_pages.h"
#include "tests/import/loopback_server.h"
#include "tests/support/http_server.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Time and processor time (user + system, every thread), in seconds.
struct Cost {
    double wall = 0, cpu = 0;
};

double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }
double cpuSeconds(const rusage& u) { return seconds(u.ru_utime) + seconds(u.ru_stime); }

double ownCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return cpuSeconds(u);
}

// Waits for the child; its exit status (-1 when it did not exit) and processor time.
int waitFor(pid_t child, double& cpu) {
    int status = 0;
    rusage u{};
    wait4(child, &status, 0, &u);
    cpu = cpuSeconds(u);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// No box is expected while the engine is driven directly.
class NoWindow : public qf::WindowServices {
public:
    qf::MessageAnswer messageBox(const std::string&, qf::MessageButtons, qf::MessageIcon, const std::string&) override {
        return qf::MessageAnswer::Ok;
    }
    std::string inputBox(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string openFileDialog(const qf::FileDialogRequest&) override { return {}; }
    void processPendingEvents() override {}
    bool openDocument(const std::string&) override { return true; }
};

// Every page imported straight on the engine onto one sheet, then the workbook
// written: the work the command line does without the run, the host or the
// program around it. In a child process, so that it starts as cold as the program.
Cost directInChild(const std::vector<std::string>& urls, const std::string& output) {
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        qf::engine::EngineSettings settings;
        settings.output = output;
        settings.replaceOutput = true;
        qf::engine::EngineSpreadsheet spreadsheet(std::move(settings));
        NoWindow window;
        qf::Trap trap(window, "bench ");
        const auto workbook = spreadsheet.newWorkbook();
        workbook->startWorkbook(trap);
        int unread = 0;
        for (const auto& url : urls) unread += qf::importWeb(*workbook, url, window, {}) ? 0 : 1;
        workbook->finish(trap);
        _exit(unread == 0 ? 0 : 1);
    }
    Cost cost;
    if (waitFor(child, cost.cpu) != 0) std::cerr << "the direct imports failed\n";
    cost.wall = since(start);
    return cost;
}

// The parser's bare parse of every page, on this one thread.
Cost bareParses(const std::vector<std::string>& bodies) {
    const auto start = Clock::now();
    const double cpu = ownCpuSeconds();
    std::size_t nodes = 0;
    for (const auto& body : bodies) nodes += bareParse(body);
    if (nodes == 0) std::cerr << "no nodes parsed\n";
    return {since(start), ownCpuSeconds() - cpu};
}

// The same parses spread over every core, each thread taking the next page:
// the least time any import of these pages could take on this machine.
Cost bareParsesOnEveryCore(const std::vector<std::string>& bodies) {
    const auto start = Clock::now();
    const double cpu = ownCpuSeconds();
    std::atomic<std::size_t> next{0}, nodes{0};
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < std::max(1u, std::thread::hardware_concurrency()); ++t)
        threads.emplace_back([&] {
            for (std::size_t i; (i = next++) < bodies.size();) nodes += bareParse(bodies[i]);
        });
    for (std::thread& t : threads) t.join();
    if (nodes == 0) std::cerr << "no nodes parsed\n";
    return {since(start), ownCpuSeconds() - cpu};
}

// Starts a program with standard output and error sent to a file; its process
// id, or -1 when it could not be started.
pid_t startProgram(const std::vector<std::string>& arguments, const std::string& log) {
    std::vector<std::string> args = arguments;
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? child : -1;
}

// Runs a program to its end with standard output and error sent to a file;
// returns its exit status, and its processor time in cpu when given.
int runProgram(const std::vector<std::string>& arguments, const std::string& log, double* cpu = nullptr) {
    const pid_t child = startProgram(arguments, log);
    if (child < 0) return -1;
    double used = 0;
    const int status = waitFor(child, used);
    if (cpu) *cpu = used;
    return status;
}

// One run of the program with the processor time of each of its threads: the
// threads' counters (/proc/PID/task/TID/stat) are read every 5 ms until it
// ends, and each thread's last reading kept. The main thread is the process's
// own id; the others by the names they gave themselves.
std::vector<std::pair<std::string, double>> threadTimes(const std::vector<std::string>& arguments,
                                                        const std::string& log) {
    const pid_t child = startProgram(arguments, log);
    if (child < 0) return {};
    std::map<long, std::pair<std::string, double>> seen;  // by thread id
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    const fs::path tasks = fs::path("/proc") / std::to_string(child) / "task";
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        std::error_code error;
        for (const auto& task : fs::directory_iterator(tasks, error)) {
            std::ifstream file(task.path() / "stat");
            std::string stat((std::istreambuf_iterator<char>(file)), {});
            const std::size_t open = stat.find('('), close = stat.rfind(')');
            if (open == std::string::npos || close == std::string::npos) continue;
            std::istringstream rest(stat.substr(close + 2));
            std::string field;
            double user = 0, system = 0;
            for (int i = 3; i <= 15 && rest >> field; ++i) {
                if (i == 14) user = std::stod(field);
                if (i == 15) system = std::stod(field);
            }
            const long id = std::stol(task.path().filename().string());
            const std::string name = id == child ? "main" : stat.substr(open + 1, close - open - 1);
            seen[id] = {name, (user + system) / tick};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::map<std::string, std::pair<int, double>> byName;
    for (const auto& [id, thread] : seen) {
        byName[thread.first].first += 1;
        byName[thread.first].second += thread.second;
    }
    std::vector<std::pair<std::string, double>> result;
    for (const auto& [name, threads] : byName)
        result.emplace_back(name + (threads.first > 1 ? " (" + std::to_string(threads.first) + " threads)" : ""),
                            threads.second);
    return result;
}

double best(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }
double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// quillfen --import of every page onto one sheet against the same imports
// driven straight on the engine and against a one-core bare parse of the
// pages. A warm-up of each import, then five rounds of the three in turn; the
// least time and the least processor time of each are kept (the machine is
// shared: the fastest is the least disturbed).
void compareImports(const std::string& program, const qf::bench::ServedPages& pages, const fs::path& out,
                    const std::string& list, const std::string& log) {
    const std::vector<std::string>& urls = pages.urls;
    const std::string cliBook = (out / "cli.xlsx").string();
    const std::string directBook = (out / "direct.xlsx").string();
    const std::vector<std::string> command = {program, "--import", list, "--one-sheet", "--output", cliBook, "--force"};
    directInChild(urls, directBook);
    runProgram(command, log);
    std::vector<double> parseWall, parseCpu, floorWall, floorCpu, directWall, directCpu, cliWall, cliCpu;
    for (int round = 0; round < 5; ++round) {
        const Cost parse = bareParses(pages.bodies);
        parseWall.push_back(parse.wall);
        parseCpu.push_back(parse.cpu);
        const Cost floor = bareParsesOnEveryCore(pages.bodies);
        floorWall.push_back(floor.wall);
        floorCpu.push_back(floor.cpu);
        const Cost direct = directInChild(urls, directBook);
        directWall.push_back(direct.wall);
        directCpu.push_back(direct.cpu);
        double cpu = 0;
        const auto start = Clock::now();
        const int status = runProgram(command, log, &cpu);
        cliWall.push_back(since(start));
        cliCpu.push_back(cpu);
        if (status != 0) std::cerr << "quillfen --import ended with " << status << " (see " << log << ")\n";
    }
    const double n = static_cast<double>(urls.size());
    const double parse = best(parseWall), parseProcessor = best(parseCpu);
    auto line = [&](const char* what, double wall, double cpu) {
        std::printf("%-40s %8.3f s  %6.2f ms/page  cpu %8.3f s\n", what, wall, 1000 * wall / n, cpu);
    };
    line("bare parse, one core (baseline)", parse, parseProcessor);
    line("bare parse, every core (the floor)", best(floorWall), best(floorCpu));
    line("direct engine imports + write", best(directWall), best(directCpu));
    line("quillfen --import (whole process)", best(cliWall), best(cliCpu));
    std::printf("%-40s time %.3f (target <= 1.10)\n", "  --import to the direct imports",
                best(cliWall) / best(directWall));
    std::printf("%-40s time %.3f (target <= 0.65), cpu %.3f (target <= 1.2)\n", "  --import to the bare parse",
                best(cliWall) / parse, best(cliCpu) / parseProcessor);
    std::printf("%-40s time %.3f of the one-core parse, with nothing but parsing\n", "  the floor",
                best(floorWall) / parse);
    std::printf("%-40s %8.3f s  vs %8.3f s (ratio of medians %.3f)\n", "  medians, --import and direct",
                median(cliWall), median(directWall), median(cliWall) / median(directWall));
    // Which thread bounds the run: the main thread places the pages and writes
    // the workbook, the loader's threads fetch, lay out and render.
    std::printf("  --import's threads, processor time (one more run):");
    for (const auto& [name, cpu] : threadTimes(command, log)) std::printf(" %s %.3f s;", name.c_str(), cpu);
    std::printf("\n");
}

// Start-up: from starting the process to its first request at the server,
// quillfen's beside curl's. False when no request arrived.
bool compareStartUp(const std::string& program, const fs::path& out, const std::string& log) {
    std::atomic<long long> arrived{0};
    qf::testing::ScriptedHttpServer first([&arrived](const qf::testing::ScriptedHttpServer::Request&,
                                                     qf::testing::ScriptedHttpServer::Connection& connection) {
        arrived = Clock::now().time_since_epoch().count();
        connection.send(qf::testing::ScriptedHttpServer::response(200, "text/html", "<p>first</p>"));
    });
    const std::string one = (out / "one.txt").string();
    std::ofstream(one) << first.url("/first.html") << "\n";
    auto startUp = [&](const std::vector<std::string>& arguments) {
        std::vector<double> times;
        for (int i = 0; i < 11; ++i) {
            arrived = 0;
            const auto start = Clock::now();
            runProgram(arguments, log);
            if (arrived != 0)
                times.push_back(
                    std::chrono::duration<double>(Clock::duration(arrived.load()) - start.time_since_epoch()).count());
        }
        return times;
    };
    const auto quillfen = startUp({program, "--import", one, "--output", (out / "one.xlsx").string(), "--force"});
    const auto curl = startUp({"curl", "-s", "-o", "/dev/null", first.url("/first.html")});
    if (quillfen.empty() || curl.empty()) {
        std::cerr << "no request arrived\n";
        return false;
    }
    std::printf("%-40s %8.1f ms median, %6.1f ms best (target < 100 ms)\n", "start-up to first request: quillfen",
                1000 * median(quillfen), 1000 * best(quillfen));
    std::printf("%-40s %8.1f ms median, %6.1f ms best (baseline)\n", "start-up to first request: curl",
                1000 * median(curl), 1000 * best(curl));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: command_line_bench <quillfen executable> <folder with .html files> [page count]"
                     " [--imports-only]\n";
        return 2;
    }
    const std::string program = argv[1];
    const std::size_t count = argc > 3 ? std::stoul(argv[3]) : 300;
    const bool startUp = !(argc > 4 && std::string(argv[4]) == "--imports-only");
    qf::testing::LoopbackServer server;
    const qf::bench::ServedPages served = qf::bench::serveHtmlPages(argv[2], count, server);
    if (served.urls.empty()) return 2;
    const std::vector<std::string>& urls = served.urls;

    const fs::path out = fs::temp_directory_path() / ("quillfen-cli-bench-" + std::to_string(getpid()));
    fs::create_directories(out);
    const std::string list = (out / "list.txt").string();
    {
        std::ofstream file(list);
        for (const auto& url : urls) file << url << "\n";
    }
    const std::string log = (out / "log").string();
    setenv("HOME", out.c_str(), 1);  // the program's settings: none, so one sheet
    unsetenv("DISPLAY");

    std::printf("%zu pages, %.1f MiB of HTML\n", urls.size(), static_cast<double>(served.bytes) / (1 << 20));
    compareImports(program, served, out, list, log);
    if (startUp && !compareStartUp(program, out, log)) return 1;
    fs::remove_all(out);
    return 0;
}
