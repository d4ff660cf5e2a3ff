// The stand-in child of the child process tests. It reads its descriptor 3 and
// writes its descriptor 4; what it does is its first argument:
//   echo        writes back what it reads until the pipe closes
//   exit        ends at once
//   hang        writes its process id (15 digits and a newline), then waits forever
//   flood       writes 1 MiB (byte i is i % 251), then ends
//   grandchild  starts itself with "hang" and waits forever
//   argv        writes each further argument followed by a NUL, then ends
#include <unistd.h>

#include <chrono>
#include <cwchar>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
extern char** environ;
#endif

namespace {

void writeAll(std::string_view data) {
    for (long n;
         !data.empty() && (n = static_cast<long>(::write(4, data.data(), static_cast<unsigned>(data.size())))) > 0;)
        data.remove_prefix(static_cast<std::size_t>(n));
}

void startSelf([[maybe_unused]] const std::string& self) {
#ifdef _WIN32
    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    _wspawnl(_P_NOWAIT, path, (L"\"" + std::wstring(path) + L"\"").c_str(), L"hang", nullptr);
#else
    char* argv[] = {const_cast<char*>(self.c_str()), const_cast<char*>("hang"), nullptr};
    pid_t pid = 0;
    ::posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ);
#endif
}

int run(const std::vector<std::string>& args) {
    const std::string mode = args.size() > 1 ? args[1] : "";
    std::string data(65536, '\0');
    if (mode == "echo") {
        for (int n; (n = static_cast<int>(::read(3, data.data(), 65536))) > 0;)
            writeAll({data.data(), static_cast<std::size_t>(n)});
    } else if (mode == "flood") {
        data.resize(1 << 20);
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
        writeAll(data);
    } else if (mode == "argv") {
        for (std::size_t i = 2; i < args.size(); ++i) writeAll(args[i] + std::string(1, '\0'));
    } else if (mode == "hang" || mode == "grandchild") {
        const std::string id = std::to_string(::getpid());
        if (mode == "hang") writeAll(std::string(15 - id.size(), '0') + id + "\n");
        if (mode == "grandchild") startSelf(args[0]);
        for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    }
    return 0;
}

}  // namespace

#ifdef _WIN32
// Wide arguments, so that what is not in the system's code page arrives too.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        args.emplace_back(4 * std::wcslen(argv[i]) + 1, '\0');
        const int n = ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, args.back().data(),
                                            static_cast<int>(args.back().size()), nullptr, nullptr);
        args.back().resize(static_cast<std::size_t>(n - 1));
    }
    return run(args);
}
#else
int main(int argc, char** argv) { return run(std::vector<std::string>(argv, argv + argc)); }
#endif
