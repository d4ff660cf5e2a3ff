// A local automation server for the tests: serves the fake spreadsheet
// application from its own process, as the real one is served.
//
//   fake_spreadsheet_server <clsid> <event name> [--running <name>] [--sheets <n>]
//
// Registers a class object for <clsid> (each creation gives a new application),
// with --running also puts one application in the running object table whose
// default member is <name>, then sets "<event name>.ready" and serves until
// "<event name>.quit" is set (or two minutes have passed).
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

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

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    CLSID clsid{};
    if (FAILED(CLSIDFromString(argv[1], &clsid))) return 2;
    const std::wstring events = argv[2];

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Factory factory;
    factory.log = std::make_shared<FakeLog>();
    std::wstring running;
    bool hasRunning = false;
    for (int i = 3; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i];
        if (option == L"--running") {
            hasRunning = true;
            running = argv[i + 1];
        } else if (option == L"--sheets") {
            factory.options.sheetsInNewWorkbook = _wtoi(argv[i + 1]);
        }
    }

    DWORD classCookie = 0;
    if (FAILED(CoRegisterClassObject(clsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &classCookie)))
        return 3;
    DWORD tableCookie = 0;
    if (hasRunning) {
        SpreadsheetOptions options = factory.options;
        options.name = running;
        qf::testing::FakeObject* app = qf::testing::newSpreadsheetApp(factory.log, options);
        const HRESULT hr = RegisterActiveObject(app, clsid, ACTIVEOBJECT_STRONG, &tableCookie);
        app->Release();
        if (FAILED(hr)) return 4;
    }

    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, (events + L".ready").c_str());
    HANDLE quit = OpenEventW(SYNCHRONIZE, FALSE, (events + L".quit").c_str());
    if (!ready || !quit) return 5;
    SetEvent(ready);

    const ULONGLONG end = GetTickCount64() + 120000;
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
    }

    if (tableCookie) RevokeActiveObject(tableCookie, nullptr);
    CoRevokeClassObject(classCookie);
    CloseHandle(ready);
    CloseHandle(quit);
    CoUninitialize();
    return 0;
}
