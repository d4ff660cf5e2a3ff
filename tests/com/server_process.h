#pragma once
// Runs the fake spreadsheet server in a process of its own, registered under a
// programmatic identifier made for this test, and removes both at the end.

#include <windows.h>

#include <string>
#include <vector>

namespace qf::testing {

class ServerProcess {
public:
    // extra: the server's options ("--running", "Microsoft Excel", "--sheets", "1").
    explicit ServerProcess(const std::vector<std::wstring>& extra = {});
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    const std::string& progId() const { return progId_; }
    bool started() const { return started_; }

private:
    std::string progId_;
    HANDLE process_ = nullptr;
    HANDLE ready_ = nullptr;
    HANDLE quit_ = nullptr;
    bool started_ = false;
};

}  // namespace qf::testing
