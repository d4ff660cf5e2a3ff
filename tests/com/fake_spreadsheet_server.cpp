// A local automation server for the tests: serves the fake spreadsheet
// application from its own process, as the real one is served.
//
//   fake_spreadsheet_server <clsid> <event name> [--running <name>] [--sheets <n>]
//                           [--progid <id>] [--log <file>] [--serve-for <seconds>]
//
// Registers a class object for <clsid> (each creation gives a new application),
// with --running also puts one application in the running object table whose
// default member is <name>, then sets "<event name>.ready" and serves until
// "<event name>.quit" is set (or two minutes, or the seconds given, have
// passed). With --progid the server also registers that programmatic
// identifier for <clsid> (and removes it at the end), so
// that a program started afterwards finds it by name; with --log every call is
// appended to the file as soon as it is served (the file is made once the
// server is ready).
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>

#include "fake_spreadsheet_app.h"

namespace {

using qf::testing::FakeLog;
using qf::testing::SpreadsheetOptions;

struct Factory final : IClassFactory {
    std::shared_ptr<FakeLog> log;
    SpreadsheetOptions options;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        log->lines.push_back("(new Application)");
        qf::testing::FakeObject* app = qf::testing::newSpreadsheetApp(log, options);
        const HRESULT hr = app->QueryInterface(iid, out);
        app->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// The calls served so far, appended to a file as they come.
class CallFile {
public:
    CallFile(const std::wstring& path, const FakeLog& log) : log_(log) {
        if (!path.empty()) file_ = _wfopen(path.c_str(), L"ab");
    }
    ~CallFile() {
        if (file_) std::fclose(file_);
    }
    CallFile(const CallFile&) = delete;
    CallFile& operator=(const CallFile&) = delete;

    void write() {
        if (!file_) return;
        for (; written_ < log_.lines.size(); ++written_) std::fprintf(file_, "%s\n", log_.lines[written_].c_str());
        std::fflush(file_);
    }

private:
    const FakeLog& log_;
    std::FILE* file_ = nullptr;
    std::size_t written_ = 0;
};

bool registerProgId(const std::wstring& classKey, const wchar_t* clsid) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, (classKey + L"\\CLSID").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const LONG result = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(clsid),
                                       static_cast<DWORD>((wcslen(clsid) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

struct ServerOptions {
    bool hasRunning = false;
    std::wstring running;  // the running application's name
    std::wstring progId;
    std::wstring logFile;
    ULONGLONG serveForMs = 120000;
};

// The options after the class identifier and the event name; --sheets goes to
// the applications the factory makes.
ServerOptions parseOptions(int argc, wchar_t** argv, Factory& factory) {
    ServerOptions o;
    for (int i = 3; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i];
        if (option == L"--running") {
            o.hasRunning = true;
            o.running = argv[i + 1];
        } else if (option == L"--sheets") {
            factory.options.sheetsInNewWorkbook = _wtoi(argv[i + 1]);
        } else if (option == L"--progid") {
            o.progId = argv[i + 1];
        } else if (option == L"--log") {
            o.logFile = argv[i + 1];
        } else if (option == L"--serve-for") {
            o.serveForMs = 1000ULL * static_cast<ULONGLONG>(_wtoi(argv[i + 1]));
        }
    }
    return o;
}

// Puts one application named name in the running object table.
HRESULT registerRunning(const CLSID& clsid, const Factory& factory, const std::wstring& name, DWORD& cookie) {
    SpreadsheetOptions options = factory.options;
    options.name = name;
    qf::testing::FakeObject* app = qf::testing::newSpreadsheetApp(factory.log, options);
    const HRESULT hr = RegisterActiveObject(app, clsid, ACTIVEOBJECT_STRONG, &cookie);
    app->Release();
    return hr;
}

// Serves calls until quit is set or the time is up, writing each call served.
void serve(HANDLE quit, ULONGLONG serveForMs, CallFile& calls) {
    const ULONGLONG end = GetTickCount64() + serveForMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) break;
        const DWORD wait = MsgWaitForMultipleObjects(1, &quit, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        if (wait == WAIT_OBJECT_0) break;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        calls.write();
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    CLSID clsid{};
    if (FAILED(CLSIDFromString(argv[1], &clsid))) return 2;
    const std::wstring events = argv[2];

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Factory factory;
    factory.log = std::make_shared<FakeLog>();
    const ServerOptions options = parseOptions(argc, argv, factory);

    DWORD classCookie = 0;
    if (FAILED(CoRegisterClassObject(clsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &classCookie))) return 3;
    DWORD tableCookie = 0;
    if (options.hasRunning && FAILED(registerRunning(clsid, factory, options.running, tableCookie))) return 4;

    const std::wstring& classKey = options.progId;
    if (!classKey.empty() && !registerProgId(classKey, argv[1])) return 6;

    // Made here when no test process made them first.
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, (events + L".ready").c_str());
    HANDLE quit = CreateEventW(nullptr, TRUE, FALSE, (events + L".quit").c_str());
    if (!ready || !quit) return 5;
    SetEvent(ready);
    // The log file appears once the server is registered and serving.
    CallFile calls(options.logFile, *factory.log);
    serve(quit, options.serveForMs, calls);
    if (!classKey.empty()) RegDeleteTreeW(HKEY_CLASSES_ROOT, classKey.c_str());

    if (tableCookie) RevokeActiveObject(tableCookie, nullptr);
    CoRevokeClassObject(classCookie);
    CloseHandle(ready);
    CloseHandle(quit);
    CoUninitialize();
    return 0;
}
