// The stand-in child of the child process tests. It reads its descriptor 3 and
// writes its descriptor 4; what it does is its first argument:
//   echo        writes back what it reads until the pipe closes
//   exit        ends at once
//   hang        writes its process id (15 digits and a newline), then waits forever
//   flood       writes 1 MiB (byte i is i % 251), then ends
//   grandchild  starts itself with "hang" and waits forever
//   argv        writes each further argument followed by a NUL, then ends
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <spawn.h>
#include <unistd.h>
extern char** environ;
#endif

namespace {

#ifdef _WIN32
int readSome(char* buffer, unsigned size) { return _read(3, buffer, size); }
int writeSome(const char* data, unsigned size) { return _write(4, data, size); }
int processId() { return _getpid(); }
#else
int readSome(char* buffer, unsigned size) { return static_cast<int>(::read(3, buffer, size)); }
int writeSome(const char* data, unsigned size) { return static_cast<int>(::write(4, data, size)); }
int processId() { return static_cast<int>(::getpid()); }
#endif

bool writeAll(const std::string& data) {
    for (std::size_t done = 0; done < data.size();) {
        const int n = writeSome(data.data() + done, static_cast<unsigned>(data.size() - done));
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

[[noreturn]] void waitForever() {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

int run(const std::vector<std::string>& args) {
    const std::string mode = args.size() > 1 ? args[1] : "";
    if (mode == "echo") {
        char buffer[65536];
        for (int n; (n = readSome(buffer, sizeof buffer)) > 0;)
            if (!writeAll(std::string(buffer, static_cast<std::size_t>(n)))) return 1;
    } else if (mode == "hang") {
        std::string id = std::to_string(processId());
        writeAll(std::string(15 - id.size(), '0') + id + "\n");
        waitForever();
    } else if (mode == "flood") {
        std::string data(1 << 20, '\0');
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
        return writeAll(data) ? 0 : 1;
    } else if (mode == "grandchild") {
#ifdef _WIN32
        wchar_t self[MAX_PATH];
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        const std::wstring quoted = L"\"" + std::wstring(self) + L"\"";
        if (_wspawnl(_P_NOWAIT, self, quoted.c_str(), L"hang", nullptr) == -1) return 1;
#else
        pid_t pid = 0;
        char* argv[] = {const_cast<char*>(args[0].c_str()), const_cast<char*>("hang"), nullptr};
        if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) return 1;
#endif
        waitForever();
    } else if (mode == "argv") {
        for (std::size_t i = 2; i < args.size(); ++i) writeAll(args[i] + std::string(1, '\0'));
    } else if (mode != "exit") {
        return 2;
    }
    return 0;
}

}  // namespace

#ifdef _WIN32
// Wide arguments, so that what is not in the system's code page arrives too.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        const int n = ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(static_cast<std::size_t>(n), '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg.data(), n, nullptr, nullptr);
        arg.pop_back();
        args.push_back(arg);
    }
    return run(args);
}
#else
int main(int argc, char** argv) { return run(std::vector<std::string>(argv, argv + argc)); }
#endif
