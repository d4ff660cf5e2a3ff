// Many import runs in one program over the same pages: what a run opens, it
// closes again, so a program that runs all day keeps its descriptors flat.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include "engine/engine_spreadsheet.h"
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

TEST(RepeatedRuns, TenRunsOverTheSamePagesKeepTheDescriptorsFlatAsDoRunsWithUnreadableEntriesStoppedOrNot) {
    // Several sites that keep their connections open, as most servers do.
    std::vector<std::unique_ptr<ScriptedHttpServer>> sites;
    std::set<int> serverPorts;
    testing::ListHost host;
    for (int s = 0; s < 8; ++s) {
        sites.push_back(std::make_unique<ScriptedHttpServer>(
            [s](const ScriptedHttpServer::Request& request, ScriptedHttpServer::Connection& connection) {
                connection.keepAlive();
                connection.send(ScriptedHttpServer::response(request.path == "/gone" ? 404 : 200, "text/html",
                                                             "<p>site " + std::to_string(s) + "</p>", {}, true));
            }));
        serverPorts.insert(sites.back()->port());
        for (int page = 0; page < 3; ++page) host.entries.push_back(sites.back()->url("/" + std::to_string(page)));
    }
    const std::string folder = testing::newTempFolder("runs");
    engine::EngineSettings settings;
    settings.documentsFolder = folder;
    engine::EngineSpreadsheet spreadsheet(std::move(settings));
    testing::ScriptedServices ui;

    // During a run the engine keeps a few connections for the pages still to
    // come; the run ends by releasing the instance, which closes them.
    const auto before = openDescriptors(serverPorts);
    for (int run = 1; run <= 10; ++run) {
        runImport(host, ui, spreadsheet, testing::kRunLocations);
        ASSERT_EQ(ui.messages().size(), static_cast<std::size_t>(run));
        EXPECT_EQ(ui.messages().back(), "Done.\r\n\r\nThe workbook was saved as " + host.finished.back().workbook)
            << "every page was read";
        EXPECT_EQ(openDescriptors(serverPorts), before) << "after run " << run;
    }
    int reused = 0;
    for (const auto& site : sites) reused += site->requests() - site->connections();
    EXPECT_GT(reused, 0) << "the sites kept their connections open within a run";

    // Unreadable entries among the pages, each keeping an empty sheet of its own
    // when each site gets one, in runs that may stop at any entry.
    for (const int at : {1, 5, 9}) host.entries.insert(host.entries.begin() + at, sites[2]->url("/gone"));
    host.entries.push_back("http://127.0.0.1:" + std::to_string(testing::LoopbackServer::closedPort()));
    std::size_t stopAfter = 0;  // Escape once the run has taken so many entries in hand
    ui.everyEvents = [&] { host.stop = host.started.size() >= stopAfter; };
    for (const auto& [separateSheets, stop] :
         {std::pair(true, SIZE_MAX), {false, SIZE_MAX}, {true, 7}, {false, 7}, {true, 0}}) {
        host.option2 = separateSheets;
        stopAfter = stop;
        host.started.clear();
        runImport(host, ui, spreadsheet, testing::kRunLocations);
        EXPECT_EQ(ui.messages().back().rfind("Done.\r\n\r\n", 0), 0u) << ui.messages().back();
        EXPECT_EQ(openDescriptors(serverPorts), before)
            << (separateSheets ? "a sheet per site, " : "one sheet, ")
            << (stop == SIZE_MAX ? "not stopped" : "stopped after " + std::to_string(stop));
    }
    fs::remove_all(folder);
}

}  // namespace
}  // namespace qf
