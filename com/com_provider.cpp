#include "com_provider.h"

#include <objbase.h>

#include "base/failure.h"
#include "com_dispatch.h"
#include "com_errors.h"

namespace qf::com {

DWORD retryDelay(DWORD rejectType, DWORD elapsedMs) {
    if (rejectType != SERVERCALL_RETRYLATER && rejectType != SERVERCALL_REJECTED) return static_cast<DWORD>(-1);
    if (elapsedMs >= kRetryForMs) return static_cast<DWORD>(-1);
    return kRetryEveryMs;
}

// Lives as long as the apartment; COM's reference counts are not used for it.
struct ComApartment::Filter final : IMessageFilter {
    IMessageFilter* previous = nullptr;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IMessageFilter) {
            *out = static_cast<IMessageFilter*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        return SERVERCALL_ISHANDLED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD elapsed, DWORD rejectType) override {
        return retryDelay(rejectType, elapsed);
    }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }
};

std::shared_ptr<ComApartment> ComApartment::enter() {
    thread_local std::weak_ptr<ComApartment> current;
    if (auto existing = current.lock()) return existing;
    std::shared_ptr<ComApartment> apartment(new ComApartment);
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(hr)) {
        apartment->initialized_ = true;
        auto filter = std::make_unique<Filter>();
        if (SUCCEEDED(CoRegisterMessageFilter(filter.get(), &filter->previous))) apartment->filter_ = std::move(filter);
    } else if (hr != RPC_E_CHANGED_MODE) {
        // RPC_E_CHANGED_MODE: someone else set this thread up multi-threaded; calls
        // still work from there, and it is theirs to end.
        fail(hr);
    }
    current = apartment;
    return apartment;
}

ComApartment::~ComApartment() {
    if (filter_) {
        IMessageFilter* mine = nullptr;
        CoRegisterMessageFilter(filter_->previous, &mine);
        if (filter_->previous) filter_->previous->Release();
    }
    if (initialized_) CoUninitialize();
}

namespace {

CLSID classOf(std::string_view progId) {
    CLSID clsid{};
    const std::wstring name = widen(progId);
    const HRESULT hr = CLSIDFromProgID(name.c_str(), &clsid);
    if (FAILED(hr)) fail(hr);
    return clsid;
}

automation::Object asObject(ComRef<IUnknown> unknown, const std::shared_ptr<ComApartment>& apartment) {
    ComRef<IDispatch> dispatch;
    const HRESULT hr = unknown->QueryInterface(IID_IDispatch, dispatch.outVoid());
    if (FAILED(hr) || !dispatch) throw Failure(failure_text::kCannotCreateObject);
    return wrap(dispatch.get(), apartment);
}

}  // namespace

ComProvider::ComProvider() : apartment_(ComApartment::enter()) {}

automation::Object ComProvider::create(std::string_view progId) {
    const CLSID clsid = classOf(progId);
    ComRef<IUnknown> unknown;
    const HRESULT hr =
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown, unknown.outVoid());
    if (FAILED(hr)) fail(hr);
    return asObject(std::move(unknown), apartment_);
}

automation::Object ComProvider::getRunning(std::string_view progId) {
    const CLSID clsid = classOf(progId);
    ComRef<IUnknown> unknown;
    const HRESULT hr = GetActiveObject(clsid, nullptr, unknown.out());
    if (FAILED(hr)) fail(hr);
    return asObject(std::move(unknown), apartment_);
}

bool isRegistered(std::string_view progId) {
    CLSID clsid{};
    const std::wstring name = widen(progId);
    return SUCCEEDED(CLSIDFromProgID(name.c_str(), &clsid));
}

}  // namespace qf::com
