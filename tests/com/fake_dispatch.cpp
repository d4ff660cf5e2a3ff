#include "fake_dispatch.h"

#include <atomic>
#include <cstdio>
#include <cwctype>

namespace qf::testing {

namespace {

// Asked for by FakeObject::from; answered without a reference.
const IID kFakeObjectIid = {0x6f1d2c3b, 0x5a49, 0x4e18, {0x9c, 0x07, 0x2b, 0x61, 0x3e, 0x8a, 0x70, 0xd5}};

std::atomic<long> g_live{0};

bool sameName(const std::wstring& a, const wchar_t* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    return i == a.size() && b[i] == 0;
}

std::string flagsText(WORD flags) {
    switch (flags) {
        case DISPATCH_PROPERTYGET: return "get";
        case DISPATCH_METHOD | DISPATCH_PROPERTYGET: return "call";
        case DISPATCH_METHOD: return "method";
        case DISPATCH_PROPERTYPUT: return "put";
        case DISPATCH_PROPERTYPUTREF: return "putref";
        default: return "flags=" + std::to_string(flags);
    }
}

}  // namespace

std::string utf8(const wchar_t* text, std::size_t length) {
    if (!text || !length) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring wideText(const std::string& text) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string utf8(BSTR text) { return utf8(text, text ? SysStringLen(text) : 0); }

std::string render(const VARIANT& v) {
    char buf[64];
    switch (v.vt) {
        case VT_EMPTY: return "EMPTY";
        case VT_NULL: return "NULL";
        case VT_BOOL: return "BOOL(" + std::to_string(v.boolVal) + ")";
        case VT_I2: return "I2(" + std::to_string(v.iVal) + ")";
        case VT_I4: return "I4(" + std::to_string(v.lVal) + ")";
        case VT_R8: std::snprintf(buf, sizeof buf, "R8(%g)", v.dblVal); return buf;
        case VT_BSTR: return "BSTR(\"" + utf8(v.bstrVal) + "\")";
        case VT_ERROR:
            std::snprintf(buf, sizeof buf, "ERROR(0x%08lX)", static_cast<unsigned long>(v.scode));
            return buf;
        case VT_DISPATCH: {
            if (!v.pdispVal) return "DISPATCH(Nothing)";
            FakeObject* fake = FakeObject::from(v.pdispVal);
            if (!fake) return "DISPATCH(?)";
            return "DISPATCH(" + (fake->describe ? fake->describe() : fake->label()) + ")";
        }
        default: return "VT" + std::to_string(v.vt);
    }
}

FakeObject::FakeObject(std::string label, std::shared_ptr<FakeLog> log)
    : label_(std::move(label)), log_(std::move(log)) {
    ++g_live;
}

FakeObject::~FakeObject() { --g_live; }

long FakeObject::live() { return g_live.load(); }

FakeObject* newFake(std::string label, std::shared_ptr<FakeLog> log) {
    return new FakeObject(std::move(label), std::move(log));
}

FakeObject* FakeObject::from(IUnknown* p) {
    void* out = nullptr;
    if (p && SUCCEEDED(p->QueryInterface(kFakeObjectIid, &out))) return static_cast<FakeObject*>(out);
    return nullptr;
}

FakeObject& FakeObject::member(const std::wstring& name, DISPID id, WORD accepts, std::vector<std::wstring> params,
                               FakeHandler handler, bool recorded) {
    members_.push_back({name, id, accepts, std::move(params), std::move(handler), recorded});
    return *this;
}

HRESULT FakeObject::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == kFakeObjectIid) {
        *out = this;
        return S_OK;
    }
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG FakeObject::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG FakeObject::Release() {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT FakeObject::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT FakeObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT FakeObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    ++log_->idLookups;
    if (count == 0) return S_OK;
    const Member* found = nullptr;
    for (const Member& m : members_)
        if (sameName(m.name, names[0])) found = &m;
    bool unknown = !found;
    ids[0] = found ? found->id : DISPID_UNKNOWN;
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        if (!found) continue;
        for (std::size_t p = 0; p < found->params.size(); ++p)
            if (sameName(found->params[p], names[i])) ids[i] = static_cast<DISPID>(p);
        unknown = unknown || ids[i] == DISPID_UNKNOWN;
    }
    return unknown ? DISP_E_UNKNOWNNAME : S_OK;
}

const FakeObject::Member* FakeObject::find(DISPID id) const {
    for (const Member& m : members_)
        if (m.id == id) return &m;
    return nullptr;
}

void FakeObject::record(const Member& m, WORD flags, const DISPPARAMS& params) {
    RawCall raw{utf8(m.name.data(), m.name.size()), m.id, flags, {}, {}, {}};
    for (UINT i = 0; i < params.cArgs; ++i) {
        raw.types.push_back(params.rgvarg[i].vt);
        raw.values.push_back(render(params.rgvarg[i]));
    }
    for (UINT i = 0; i < params.cNamedArgs; ++i) raw.namedIds.push_back(params.rgdispidNamedArgs[i]);

    std::string line = label_ + "." + raw.member + " " + flagsText(flags);
    // From the last array element to the first: the order of the source text.
    for (UINT i = params.cArgs; i-- > 0;) {
        line += " ";
        if (i < params.cNamedArgs) {
            const DISPID named = params.rgdispidNamedArgs[i];
            if (named == DISPID_PROPERTYPUT) {
                line += "= ";
            } else if (named >= 0 && static_cast<std::size_t>(named) < m.params.size()) {
                const std::wstring& name = m.params[static_cast<std::size_t>(named)];
                line += utf8(name.data(), name.size()) + ":=";
            } else {
                line += "?" + std::to_string(named) + ":=";
            }
        }
        line += raw.values[i];
    }
    log_->lines.push_back(line);
    log_->raw.push_back(std::move(raw));
}

HRESULT FakeObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                           UINT* argError) {
    const Member* m = find(id);
    if (!m) return DISP_E_MEMBERNOTFOUND;
    DISPPARAMS none{};
    if (!params) params = &none;
    if (m->recorded) record(*m, flags, *params);
    if (!(flags & m->accepts)) return DISP_E_MEMBERNOTFOUND;

    FakeCall call;
    call.flags = flags;
    call.params.assign(m->params.size(), nullptr);
    const UINT named = params->cNamedArgs;
    const UINT positional = params->cArgs - named;
    if (positional > m->params.size()) return DISP_E_BADPARAMCOUNT;
    for (UINT j = 0; j < positional; ++j) call.params[j] = &params->rgvarg[params->cArgs - 1 - j];
    for (UINT i = 0; i < named; ++i) {
        const DISPID p = params->rgdispidNamedArgs[i];
        if (p == DISPID_PROPERTYPUT) {
            call.value = &params->rgvarg[i];
            continue;
        }
        const auto at = static_cast<std::size_t>(p);
        if (p < 0 || at >= call.params.size() || call.params[at]) {
            if (argError) *argError = i;
            return DISP_E_PARAMNOTFOUND;
        }
        call.params[at] = &params->rgvarg[i];
    }
    if ((flags & (kPut | kPutRef)) && !call.value) return DISP_E_PARAMNOTOPTIONAL;
    if (result) VariantInit(result);
    return m->handler ? m->handler(call, result, info) : S_OK;
}

HRESULT returnText(VARIANT* result, const std::wstring& text) {
    if (!result) return S_OK;
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return S_OK;
}

HRESULT returnObject(VARIANT* result, FakeObject* object) {
    if (!result) {
        object->Release();
        return S_OK;
    }
    result->vt = VT_DISPATCH;
    result->pdispVal = object;
    return S_OK;
}

HRESULT raise(EXCEPINFO* info, const std::wstring& description, HRESULT scode) {
    if (info) {
        *info = EXCEPINFO{};
        info->scode = scode;
        info->bstrSource = SysAllocString(L"Fake automation server");
        if (!description.empty()) info->bstrDescription = SysAllocString(description.c_str());
    }
    return DISP_E_EXCEPTION;
}

}  // namespace qf::testing
