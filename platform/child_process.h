#pragma once
// A program started with two pipes beside its standard streams, as browsers
// take their remote-control channel: the child reads what we write on its
// descriptor 3 and writes what we read on its descriptor 4 (on Windows the
// two pipe handles are given to it as its C runtime's descriptors 3 and 4).
// Its standard input is empty and its output and errors go nowhere, so a
// chatty child can never block on them.
//
// Ending the object ends the child and everything it started (its process
// group on POSIX systems, its job object on Windows), so no renderer of a
// browser outlives the run.
//
// Threads: write and read may be called from two threads at once (one each);
// kill from any thread.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace qf::platform {

class ChildProcess {
public:
    // Starts program (a path) with the arguments. Throws qf::Failure with the
    // system's text when it cannot be started.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Writes all of data to the child's descriptor 3; false when the child is
    // gone (or no longer reads it).
    bool write(const char* data, std::size_t size);

    // Reads what the child wrote to its descriptor 4, waiting at most `wait`:
    // the bytes read (at most capacity), 0 when nothing came in that time, -1
    // once the child has closed it (ended).
    std::ptrdiff_t read(char* buffer, std::size_t capacity, std::chrono::milliseconds wait);

    // Ends the child and what it started at once; safe to call again.
    void kill() noexcept;

    // Whether the child is still running.
    bool running() noexcept;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Whether this process runs with the system's highest rights (root on POSIX
// systems), as some programs refuse to run with their own protections then.
bool runningAsAdministrator() noexcept;

// The path of an application the system registers for a program name: on
// Windows the App Paths entry ("msedge.exe"), in the user's part first; empty
// elsewhere or when none is registered.
std::string registeredApplication(const std::string& executableName);

}  // namespace qf::platform
