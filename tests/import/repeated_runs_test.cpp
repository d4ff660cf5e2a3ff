// Many import runs in one program over the same pages: what a run opens, it
// closes again, so a program that runs all day keeps its descriptors flat.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include "engine/engine_provider.h"
#include "import/import_run.h"
#include "list_host.h"
#include "loopback_server.h"
#include "support/scripted_services.h"
#include "tests/support/http_server.h"
#include "support/test_helpers.h"

namespace qf {
namespace {

namespace fs = std::filesystem;
using testing::ScriptedHttpServer;

// The local ports of this process's TCP sockets, by socket inode.
std::map<std::string, int> localPorts() {
    std::map<std::string, int> ports;
    for (const char* table : {"/proc/self/net/tcp", "/proc/self/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);  // the heading
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
            fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
            ports["socket:[" + inode + "]"] = std::stoi(local.substr(local.find(':') + 1), nullptr, 16);
        }
    }
    return ports;
}

// The descriptors the program has open, leaving out the test servers' own
// sockets (their listeners and their ends of the connections).
std::vector<std::string> openDescriptors(const std::set<int>& serverPorts) {
    const auto ports = localPorts();
    std::vector<std::string> open;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const std::string target = fs::read_symlink(entry.path(), ec).string();
        if (ec) continue;  // the directory's own descriptor, closed by now
        const auto port = ports.find(target);
        if (port != ports.end() && serverPorts.count(port->second)) continue;
        open.push_back(entry.path().filename().string() + " -> " + target);
    }
    return open;
}

// The window's list, stopped by Escape once the run has taken `stopAfter` entries in hand.
class StoppableList : public testing::ListHost {
public:
    int stopAfter = -1;
    void setProgressText(const std::string& text) override {
        if (text.rfind("Processing: ", 0) == 0) ++taken_;
        ListHost::setProgressText(text);
    }
    bool stopRequested() const override { return stopAfter >= 0 && taken_ >= stopAfter; }
    void startRun() { taken_ = 0; }

private:
    int taken_ = 0;
};

TEST(RepeatedRuns, RunsInEitherSheetModeWithUnreadableEntriesStoppedOrNotKeepTheDescriptorsFlat) {
    // Several sites that keep their connections open, as most servers do; a
    // page under /gone is missing.
    std::vector<std::unique_ptr<ScriptedHttpServer>> sites;
    std::set<int> serverPorts;
    StoppableList host;
    for (int s = 0; s < 8; ++s) {
        sites.push_back(std::make_unique<ScriptedHttpServer>(
            [s](const ScriptedHttpServer::Request& request, ScriptedHttpServer::Connection& connection) {
                connection.keepAlive();
                const int status = request.path.rfind("/gone", 0) == 0 ? 404 : 200;
                connection.send(ScriptedHttpServer::response(
                    status, "text/html", "<p>site " + std::to_string(s) + " " + request.path + "</p>", {}, true));
            }));
        serverPorts.insert(sites.back()->port());
        for (int page = 0; page < 3; ++page) host.entries.push_back(sites.back()->url("/" + std::to_string(page)));
    }
    // Unreadable entries in among the pages: missing pages, a site that refuses
    // the connection, an address that is no address.
    const std::string refused = "http://127.0.0.1:" + std::to_string(testing::LoopbackServer::closedPort()) + "/";
    host.entries.insert(host.entries.begin() + 1, sites[0]->url("/gone/1"));
    host.entries.insert(host.entries.begin() + 5, refused);
    host.entries.insert(host.entries.begin() + 9, sites[3]->url("/gone/2"));
    host.entries.push_back("no address at all");

    const std::string folder = testing::newTempFolder("runs");
    // The writer's temporary files go to the user's runtime folder when it is in
    // memory; one of the test's own shows what stays there.
    const std::string oldRuntime = std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
    std::string runtime = "/dev/shm/quillfen-runtime-XXXXXX";
    if (::mkdtemp(runtime.data()) == nullptr) runtime = testing::newTempFolder("runtime");
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);

    engine::EngineSettings settings;
    settings.documentsFolder = folder;
    engine::EngineProvider provider(std::move(settings));
    testing::ScriptedServices ui;

    const struct {
        const char* what;
        bool separateSheets;
        int stopAfter;
    } runs[] = {
        {"one sheet", false, -1},
        {"a sheet per site", true, -1},
        {"one sheet, stopped after 6 entries", false, 6},
        {"a sheet per site, stopped after 6 entries", true, 6},
        {"a sheet per site, stopped before the first entry", true, 0},
    };
    // During a run the engine keeps a few connections for the pages still to
    // come; the run ends by releasing the instance, which closes them.
    const auto before = openDescriptors(serverPorts);
    std::size_t workbooks = 0;
    for (int round = 1; round <= 2; ++round) {
        for (const auto& run : runs) {
            SCOPED_TRACE(std::string(run.what) + ", round " + std::to_string(round));
            host.option2 = run.separateSheets;
            host.stopAfter = run.stopAfter;
            host.startRun();
            const std::size_t shown = ui.messages().size();
            runImport(host, ui, provider);
            ++workbooks;
            ASSERT_EQ(ui.messages().size(), shown + 1);
            const std::string done = ui.messages().back();
            EXPECT_EQ(done.rfind("Done.", 0), 0u);
            if (run.stopAfter >= 0) {
                EXPECT_NE(done.find("Stopped after entry " + std::to_string(run.stopAfter) + " of 28."),
                          std::string::npos);
            }
            EXPECT_EQ(openDescriptors(serverPorts), before);
        }
    }
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++files;
    EXPECT_EQ(files, workbooks) << "a workbook a run and nothing else";
    EXPECT_TRUE(fs::is_empty(runtime)) << "the temporary folder keeps nothing";
    fs::remove_all(runtime);
    oldRuntime.empty() ? ::unsetenv("XDG_RUNTIME_DIR") : ::setenv("XDG_RUNTIME_DIR", oldRuntime.c_str(), 1);
    int reused = 0;
    for (const auto& site : sites) reused += site->requests() - site->connections();
    EXPECT_GT(reused, 0) << "the sites kept their connections open within a run";
    fs::remove_all(folder);
}

}  // namespace
}  // namespace qf
