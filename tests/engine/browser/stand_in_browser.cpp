// A stand-in for a browser that speaks the remote-control protocol on its
// descriptors 3 (commands in) and 4 (replies and events out), well or badly as
// STAND_IN_BROWSER asks:
//   answers        answers as a browser does; every page's document is a small table
//   exit           ends at once
//   silent         reads and never answers
//   broken         answers the first command with what is not JSON
//   truncated      writes half a reply and ends
//   crash-on-page  answers until a page is opened, then ends
//   hang-on-page   answers until a page is opened, then answers nothing more
// STAND_IN_BROWSER_LOG, when set, names a file that gets a line at each start.

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#ifdef _WIN32
#include <io.h>
#define read _read
#define write _write
#else
#include <unistd.h>
#endif

namespace {

using Json = nlohmann::json;

void send(const std::string& text, bool ended = true) {
    std::string framed = text;
    if (ended) framed.push_back('\0');
    const char* p = framed.data();
    std::size_t left = framed.size();
    while (left > 0) {
        const auto n = write(4, p, static_cast<unsigned>(left));
        if (n <= 0) std::exit(0);
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

Json resultOf(const Json& command) {
    const std::string method = command.value("method", "");
    if (method == "Target.createBrowserContext") return {{"browserContextId", "CONTEXT"}};
    if (method == "Target.createTarget") return {{"targetId", "TAB"}};
    if (method == "Target.attachToTarget") return {{"sessionId", "SESSION"}};
    if (method == "Page.navigate") return {{"frameId", "FRAME"}};
    if (method == "Runtime.evaluate") {
        const std::string expression = command["params"].value("expression", "");
        if (expression.find("__quillfenUnchanged") != std::string::npos)
            return {{"result", {{"type", "number"}, {"value", 5000}}}};
        return {{"result", {{"type", "string"}, {"value", "<table><tr><td>Stand-in</td><td>42</td></tr></table>"}}}};
    }
    return Json::object();
}

}  // namespace

int main() {
    const char* modeVariable = std::getenv("STAND_IN_BROWSER");
    const std::string mode = modeVariable ? modeVariable : "answers";
    if (const char* log = std::getenv("STAND_IN_BROWSER_LOG")) std::ofstream(log, std::ios::app) << "start\n";
    if (mode == "exit") return 1;
    std::string pending;
    char buffer[4096];
    bool pageOpen = false;
    for (;;) {
        const auto n = read(3, buffer, sizeof buffer);
        if (n <= 0) return 0;
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = pending.find('\0')) != std::string::npos;) {
            const Json command = Json::parse(pending.substr(0, end));
            pending.erase(0, end + 1);
            if (mode == "silent" || (mode == "hang-on-page" && pageOpen)) continue;
            if (mode == "broken") send("{\"id\": " + std::to_string(command["id"].get<int>()) + ", \"result\": {]");
            if (mode == "truncated") {
                send(R"({"id": 1, "res)", false);
                return 0;
            }
            if (command.value("method", "") == "Page.navigate") {
                pageOpen = true;
                if (mode == "crash-on-page") return 3;
            }
            Json reply = {{"id", command["id"]}, {"result", resultOf(command)}};
            if (command.contains("sessionId")) reply["sessionId"] = command["sessionId"];
            send(reply.dump());
            if (command.value("method", "") == "Page.navigate")
                send(Json({{"method", "Page.loadEventFired"}, {"sessionId", "SESSION"}, {"params", Json::object()}})
                         .dump());
        }
    }
}
