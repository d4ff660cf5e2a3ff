#include "server_process.h"

#include <objbase.h>

#include <atomic>

#include "fake_dispatch.h"

namespace qf::testing {

namespace {

std::wstring serverPath() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L"\\/") + 1) + L"fake_spreadsheet_server.exe";
}

}  // namespace

ServerProcess::ServerProcess(const std::vector<std::wstring>& extra) {
    static std::atomic<int> counter{0};
    const std::string unique = std::to_string(GetCurrentProcessId()) + "." + std::to_string(++counter);
    progId_ = "QuillfenTest.Spreadsheet." + unique;
    const std::wstring events = wideText("QuillfenTestServer." + unique);
    ready_ = CreateEventW(nullptr, TRUE, FALSE, (events + L".ready").c_str());
    quit_ = CreateEventW(nullptr, TRUE, FALSE, (events + L".quit").c_str());

    GUID clsid{};
    CoCreateGuid(&clsid);
    wchar_t clsidText[64];
    StringFromGUID2(clsid, clsidText, 64);
    HKEY key = nullptr;
    const std::wstring keyPath = wideText(progId_) + L"\\CLSID";
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(clsidText),
                   static_cast<DWORD>((wcslen(clsidText) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);

    std::wstring command = L"\"" + serverPath() + L"\" " + clsidText + L" " + events;
    for (const auto& e : extra) command += L" \"" + e + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    HANDLE waitFor[] = {ready_, process_};
    started_ = WaitForMultipleObjects(2, waitFor, FALSE, 30000) == WAIT_OBJECT_0;
}

ServerProcess::~ServerProcess() {
    if (process_) {
        SetEvent(quit_);
        if (WaitForSingleObject(process_, 10000) != WAIT_OBJECT_0) TerminateProcess(process_, 1);
        CloseHandle(process_);
    }
    if (ready_) CloseHandle(ready_);
    if (quit_) CloseHandle(quit_);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, wideText(progId_).c_str());
}

}  // namespace qf::testing
