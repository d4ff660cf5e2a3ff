#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "base/failure.h"
#include "child_process.h"
#include "windows_text.h"

namespace qf::platform {

using windows::systemText;
using windows::utf8;
using windows::wide;

namespace {

// Closes a handle once; the slot is left empty.
void closeIfOpen(HANDLE& handle) {
    if (handle && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    handle = nullptr;
}

// One argument of a command line, quoted so that the C runtime's parser (and
// CommandLineToArgvW) gives it back unchanged: backslashes are literal except
// before a quote, where they are doubled and the quote escaped.
void appendQuoted(std::wstring& line, const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    for (auto it = argument.begin();; ++it) {
        std::size_t backslashes = 0;
        while (it != argument.end() && *it == L'\\') {
            ++it;
            ++backslashes;
        }
        if (it == argument.end()) {
            line.append(backslashes * 2, L'\\');  // the closing quote follows
            break;
        }
        if (*it == L'"') {
            line.append(backslashes * 2 + 1, L'\\');
        } else {
            line.append(backslashes, L'\\');
        }
        line += *it;
    }
    line += L'"';
}

// The program's own name is parsed without escapes: it is only quoted.
std::wstring commandLine(const std::wstring& program, const std::vector<std::string>& arguments) {
    std::wstring line = L"\"" + program + L"\"";
    for (const std::string& a : arguments) {
        line += L' ';
        appendQuoted(line, wide(a));
    }
    return line;
}

// A unique name for a pipe of this process.
std::wstring pipeName() {
    static std::atomic<unsigned> counter{0};
    return L"\\\\.\\pipe\\quillfen-child-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter) + L"-" + std::to_wstring(::GetTickCount64());
}

// The block through which the C runtime of a child takes its descriptors: their
// count, a flag byte for each, then a handle for each (packed, unaligned).
// Descriptors 0 to 2 are left to the standard handles; 3 and 4 are pipes.
std::vector<BYTE> descriptorBlock(HANDLE three, HANDLE four) {
    constexpr unsigned char kOpen = 0x01;
    constexpr unsigned char kPipe = 0x08;
    const int count = 5;
    const unsigned char flags[count] = {0, 0, 0, kOpen | kPipe, kOpen | kPipe};
    const HANDLE handles[count] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, three, four};
    std::vector<BYTE> block(sizeof count + sizeof flags + sizeof handles);
    std::memcpy(block.data(), &count, sizeof count);
    std::memcpy(block.data() + sizeof count, flags, sizeof flags);
    std::memcpy(block.data() + sizeof count + sizeof flags, handles, sizeof handles);
    return block;
}

// The handles a child is made with; all are closed when it goes out of scope,
// whether or not the child could be started.
struct ChildEnds {
    HANDLE three = nullptr;  // the child reads
    HANDLE four = nullptr;   // the child writes
    HANDLE nul = nullptr;    // its standard streams
    ~ChildEnds() {
        closeIfOpen(three);
        closeIfOpen(four);
        closeIfOpen(nul);
    }
};

[[noreturn]] void fail(const std::string& what, DWORD error) { throw Failure(what + ": " + systemText(error)); }

}  // namespace

struct ChildProcess::State {
    HANDLE job = nullptr;
    HANDLE process = nullptr;
    HANDLE toChild = nullptr;    // our end of the child's descriptor 3
    HANDLE fromChild = nullptr;  // our end of the child's descriptor 4 (overlapped)
    HANDLE readDone = nullptr;   // the event of a read from fromChild
    std::mutex mutex;            // the job and the process
    bool ended = false;

    ~State() {
        closeIfOpen(toChild);
        closeIfOpen(fromChild);
        closeIfOpen(readDone);
        closeIfOpen(process);
        closeIfOpen(job);  // kills whatever is left in it
    }
};

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    ChildEnds ends;

    // Our ends are never inherited. The child's ends are inheritable, as a
    // handle list requires, and that list names them alone, so no other handle
    // of this process goes along; they are closed here once it has started.
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!::CreatePipe(&ends.three, &s.toChild, &inherit, 65536)) fail("a pipe could not be made", ::GetLastError());
    ::SetHandleInformation(s.toChild, HANDLE_FLAG_INHERIT, 0);

    // The pipe we read is a named one, so that a read can wait with a timeout.
    const std::wstring name = pipeName();
    s.fromChild = ::CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 65536, 65536, 0, nullptr);
    if (s.fromChild == INVALID_HANDLE_VALUE) {
        s.fromChild = nullptr;
        fail("a pipe could not be made", ::GetLastError());
    }
    ends.four = ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0, nullptr);
    if (ends.four == INVALID_HANDLE_VALUE) {
        ends.four = nullptr;
        fail("a pipe could not be made", ::GetLastError());
    }
    s.readDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!s.readDone) fail("a pipe could not be made", ::GetLastError());
    ends.nul = ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    if (ends.nul == INVALID_HANDLE_VALUE) {
        ends.nul = nullptr;
        fail("the null device could not be opened", ::GetLastError());
    }

    s.job = ::CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!s.job || !::SetInformationJobObject(s.job, JobObjectExtendedLimitInformation, &limits, sizeof limits))
        fail("a job for " + program + " could not be made", ::GetLastError());

    HANDLE inherited[] = {ends.three, ends.four, ends.nul};
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<BYTE> attributeMemory(size);
    auto attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeMemory.data());
    if (!::InitializeProcThreadAttributeList(attributes, 1, 0, &size))
        fail(program + " could not be started", ::GetLastError());
    if (!::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, sizeof inherited,
                                     nullptr, nullptr)) {
        const DWORD error = ::GetLastError();
        ::DeleteProcThreadAttributeList(attributes);
        fail(program + " could not be started", error);
    }

    std::vector<BYTE> block = descriptorBlock(ends.three, ends.four);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = ends.nul;
    startup.StartupInfo.hStdOutput = ends.nul;
    startup.StartupInfo.hStdError = ends.nul;
    startup.StartupInfo.cbReserved2 = static_cast<WORD>(block.size());
    startup.StartupInfo.lpReserved2 = block.data();
    startup.lpAttributeList = attributes;

    const std::wstring path = wide(program);
    std::wstring line = commandLine(path, arguments);
    PROCESS_INFORMATION started{};
    // Started suspended, so that it is in the job before it can start anything.
    const BOOL created = ::CreateProcessW(
        path.c_str(), line.data(), nullptr, nullptr, TRUE,
        EXTENDED_STARTUPINFO_PRESENT | CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, nullptr,
        nullptr, &startup.StartupInfo, &started);
    const DWORD error = ::GetLastError();
    ::DeleteProcThreadAttributeList(attributes);
    if (!created) fail(program + " could not be started", error);
    s.process = started.hProcess;
    if (!::AssignProcessToJobObject(s.job, started.hProcess)) {
        const DWORD assignError = ::GetLastError();
        ::TerminateProcess(started.hProcess, 1);
        ::CloseHandle(started.hThread);
        fail(program + " could not be started", assignError);
    }
    ::ResumeThread(started.hThread);
    ::CloseHandle(started.hThread);
}

ChildProcess::~ChildProcess() { kill(); }

bool ChildProcess::write(const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(state_->toChild, data, chunk, &written, nullptr)) return false;
        data += written;
        size -= written;
    }
    return true;
}

std::ptrdiff_t ChildProcess::read(char* buffer, std::size_t capacity, std::chrono::milliseconds wait) {
    State& s = *state_;
    OVERLAPPED overlapped{};
    overlapped.hEvent = s.readDone;
    ::ResetEvent(s.readDone);
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(capacity, 1u << 30));
    if (!::ReadFile(s.fromChild, buffer, wanted, nullptr, &overlapped)) {
        if (::GetLastError() != ERROR_IO_PENDING) return -1;  // broken: the child has closed its end
        const auto timeout = static_cast<DWORD>(std::clamp<long long>(wait.count(), 0, INFINITE - 1));
        if (::WaitForSingleObject(s.readDone, timeout) != WAIT_OBJECT_0) ::CancelIoEx(s.fromChild, &overlapped);
    }
    // After a cancel the read may still have completed with data: that is kept.
    DWORD got = 0;
    if (::GetOverlappedResult(s.fromChild, &overlapped, &got, TRUE)) return static_cast<std::ptrdiff_t>(got);
    return ::GetLastError() == ERROR_OPERATION_ABORTED ? 0 : -1;
}

void ChildProcess::kill() noexcept {
    std::lock_guard lock(state_->mutex);
    if (!state_->process || state_->ended) return;
    ::TerminateJobObject(state_->job, 1);
    ::WaitForSingleObject(state_->process, 5000);
    state_->ended = true;
}

bool ChildProcess::running() noexcept {
    std::lock_guard lock(state_->mutex);
    if (!state_->process || state_->ended) return false;
    if (::WaitForSingleObject(state_->process, 0) == WAIT_TIMEOUT) return true;
    ::TerminateJobObject(state_->job, 1);  // what it left behind
    state_->ended = true;
    return false;
}

bool runningAsAdministrator() noexcept {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool elevated = ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                          elevation.TokenIsElevated != 0;
    ::CloseHandle(token);
    return elevated;
}

std::string registeredApplication(const std::string& executableName) {
    const std::wstring key = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + wide(executableName);
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        // The default value. Asked for as a plain string, an expandable one
        // comes back expanded (asking for both types would be refused).
        DWORD bytes = 0;
        const DWORD types = RRF_RT_REG_SZ;
        if (::RegGetValueW(root, key.c_str(), nullptr, types, nullptr, nullptr, &bytes) != ERROR_SUCCESS) continue;
        std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        if (::RegGetValueW(root, key.c_str(), nullptr, types, nullptr, value.data(), &bytes) != ERROR_SUCCESS) continue;
        value.resize(::wcsnlen(value.c_str(), value.size()));
        if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"')
            value = value.substr(1, value.size() - 2);
        if (!value.empty()) return utf8(value.data(), value.size());
    }
    return {};
}

}  // namespace qf::platform
