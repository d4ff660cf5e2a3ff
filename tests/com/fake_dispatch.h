#pragma once
// A COM automation object for tests, built member by member: an IDispatch with
// no type library, as late-bound servers are reached. It answers GetIDsOfNames
// (names in any letter case; parameter ids are the parameters' positions),
// rejects calls whose dispatch flags the member does not take, and records every
// call it receives: the raw argument array as it arrived, and one readable line
// with the arguments in source order, named ones as Name:=value and a put's
// value as "= value":
//
//     QueryTables.Add call Connection:=BSTR("URL;http://www.a.org") Destination:=DISPATCH(Range A1 on Sheet1)
//     QueryTable.RefreshPeriod put = I2(0)

#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qf::testing {

// What one call brought, as received.
struct RawCall {
    std::string member;
    DISPID id = 0;
    WORD flags = 0;
    std::vector<VARTYPE> types;       // rgvarg[0], rgvarg[1], ...
    std::vector<std::string> values;  // the same, rendered
    std::vector<DISPID> namedIds;     // rgdispidNamedArgs
};

struct FakeLog {
    std::vector<std::string> lines;
    std::vector<RawCall> raw;
    int idLookups = 0;  // GetIDsOfNames calls
};

// The arguments of a call, sorted to the member's parameters.
struct FakeCall {
    std::vector<VARIANT*> params;  // by parameter position; nullptr when not given
    VARIANT* value = nullptr;      // a put's value
    WORD flags = 0;
};

using FakeHandler = std::function<HRESULT(FakeCall& call, VARIANT* result, EXCEPINFO* info)>;

inline constexpr WORD kGet = DISPATCH_PROPERTYGET;
inline constexpr WORD kMethod = DISPATCH_METHOD;
inline constexpr WORD kPut = DISPATCH_PROPERTYPUT;
inline constexpr WORD kPutRef = DISPATCH_PROPERTYPUTREF;

class FakeObject : public IDispatch {
public:
    // label names the object in log lines ("Application"); describe, when set,
    // says which one it is when it arrives as an argument.
    FakeObject(std::string label, std::shared_ptr<FakeLog> log);

    // accepts: the dispatch flags the member answers to (any one of them).
    // Unrecorded members (the tests' own look into the fake) leave no log line.
    FakeObject& member(const std::wstring& name, DISPID id, WORD accepts, std::vector<std::wstring> params,
                       FakeHandler handler, bool recorded = true);
    std::function<std::string()> describe;

    // The fake behind an interface pointer, or nullptr.
    static FakeObject* from(IUnknown* p);
    // Objects alive in this process.
    static long live();

    const std::string& label() const { return label_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* info, UINT* argError) override;

protected:
    virtual ~FakeObject();

private:
    struct Member {
        std::wstring name;
        DISPID id;
        WORD accepts;
        std::vector<std::wstring> params;
        FakeHandler handler;
        bool recorded;
    };
    const Member* find(DISPID id) const;
    void record(const Member& m, WORD flags, const DISPPARAMS& params);

    LONG refs_ = 1;
    std::string label_;
    std::shared_ptr<FakeLog> log_;
    std::vector<Member> members_;
};

// A new fake, owned by the caller (one reference).
FakeObject* newFake(std::string label, std::shared_ptr<FakeLog> log);

// Readable form of a VARIANT: BOOL(-1), I2(0), I4(1), R8(2.5), BSTR("text"),
// DISPATCH(what), EMPTY, NULL, ERROR(code).
std::string render(const VARIANT& v);

// Handler helpers.
HRESULT returnText(VARIANT* result, const std::wstring& text);
HRESULT returnObject(VARIANT* result, FakeObject* object);  // takes over the caller's reference
HRESULT raise(EXCEPINFO* info, const std::wstring& description, HRESULT scode = E_FAIL);
std::string utf8(const wchar_t* text, std::size_t length);
std::string utf8(BSTR text);
std::wstring wideText(const std::string& utf8);

}  // namespace qf::testing
