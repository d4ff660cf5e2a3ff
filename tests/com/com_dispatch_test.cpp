// Late-bound calls through the COM backend, against an in-process fake whose
// IDispatch records the raw argument arrays it receives.
#include <gtest/gtest.h>

#include "base/failure.h"
#include "com/com_dispatch.h"
#include "com/com_errors.h"
#include "com/com_provider.h"
#include "failure_of.h"
#include "fake_dispatch.h"

namespace qf::com {
namespace {

using automation::Arg;
using automation::Object;
using automation::Variant;
using automation::VarType;
using testing::failureOf;
using testing::FakeCall;
using testing::FakeLog;
using testing::FakeObject;

HRESULT STDMETHODCALLTYPE fillInLater(EXCEPINFO* info) {
    info->bstrDescription = SysAllocString(L"Filled in later");
    return S_OK;
}

FakeObject* newChild(const std::shared_ptr<FakeLog>& log) {
    FakeObject* child = testing::newFake("Child", log);
    child->member(L"Name", 1, testing::kGet, {},
                  [](FakeCall&, VARIANT* r, EXCEPINFO*) { return testing::returnText(r, L"child"); });
    return child;
}

// The probe: members that echo, store, return every kind of value and fail in
// every way a server fails.
FakeObject* newProbe(const std::shared_ptr<FakeLog>& log, VARIANT* stored) {
    using namespace testing;
    FakeObject* probe = newFake("Probe", log);
    probe->member(L"Mix", 1, kMethod | kGet, {L"A", L"B", L"C", L"Flag", L"Count"},
                  [](FakeCall&, VARIANT* r, EXCEPINFO*) {
                      r->vt = VT_I4;
                      r->lVal = 42;
                      return S_OK;
                  });
    probe->member(L"Echo", 2, kMethod | kGet, {L"Value"},
                  [](FakeCall& c, VARIANT* r, EXCEPINFO*) { return c.params[0] ? VariantCopy(r, c.params[0]) : S_OK; });
    probe->member(L"Prop", 3, kGet | kPut, {L"Index"}, [stored](FakeCall& c, VARIANT* r, EXCEPINFO*) {
        if (c.value) return VariantCopy(stored, c.value);
        return VariantCopy(r, stored);
    });
    probe->member(L"RefOnly", 4, kPutRef, {}, nullptr);
    probe->member(L"ValueOnly", 5, kPut, {}, nullptr);
    probe->member(L"_Default", DISPID_VALUE, kGet, {L"Index"}, [](FakeCall& c, VARIANT* r, EXCEPINFO*) {
        if (!c.params[0]) return returnText(r, L"the default");
        return returnText(r, L"item " + std::to_wstring(c.params[0]->lVal));
    });
    probe->member(L"Fail", 6, kMethod, {L"How"}, [](FakeCall& c, VARIANT*, EXCEPINFO* info) -> HRESULT {
        switch (c.params[0] ? c.params[0]->lVal : 0) {
            case 1: return raise(info, L"The server's own words");
            case 2:
                raise(info, L"");
                info->pfnDeferredFillIn = fillInLater;
                return DISP_E_EXCEPTION;
            case 3: return raise(info, L"", E_OUTOFMEMORY);
            case 4:
                raise(info, L"", 0);
                info->wCode = 1004;
                return DISP_E_EXCEPTION;
            case 5: return DISP_E_TYPEMISMATCH;
            default: return static_cast<HRESULT>(0xA0041234);
        }
    });
    // Values of the kinds a server may give back, by number.
    probe->member(L"Give", 8, kGet, {L"Kind"}, [log](FakeCall& c, VARIANT* r, EXCEPINFO*) -> HRESULT {
        static LONG byRef = 7;
        switch (c.params[0]->lVal) {
            case 1:
                r->vt = VT_R4;
                r->fltVal = 1.5f;
                break;
            case 2:
                r->vt = VT_UI4;
                r->ulVal = 4000000000u;
                break;
            case 3:
                r->vt = VT_UI2;
                r->uiVal = 65535;
                break;
            case 4:
                r->vt = VT_CY;
                r->cyVal.int64 = 12345;
                break;  // 1.2345
            case 5:
                r->vt = VT_DATE;
                r->date = 45000.5;
                break;
            case 6:
                r->vt = VT_I4 | VT_BYREF;
                r->plVal = &byRef;
                break;
            case 7:
                r->vt = VT_ERROR;
                r->scode = static_cast<SCODE>(0x800A07FA);
                break;
            case 8: r->vt = VT_NULL; break;
            case 9:
                r->vt = VT_UNKNOWN;
                r->punkVal = newChild(log);
                break;
            case 10:
                r->vt = VT_ARRAY | VT_VARIANT;
                r->parray = SafeArrayCreateVector(VT_VARIANT, 0, 2);
                break;
            case 11:
                r->vt = VT_I8;
                r->llVal = 5;
                break;
            default: break;
        }
        return S_OK;
    });
    probe->member(L"Child", 7, kGet, {},
                  [log](FakeCall&, VARIANT* r, EXCEPINFO*) { return returnObject(r, newChild(log)); });
    return probe;
}

class ComDispatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        VariantInit(&stored);
        apartment = ComApartment::enter();
        FakeObject* raw = newProbe(log, &stored);
        probe = wrap(raw, apartment);
        raw->Release();  // the Object holds its own reference
    }
    void TearDown() override {
        probe.release();
        VariantClear(&stored);
        EXPECT_EQ(FakeObject::live(), 0) << "a reference was leaked";
    }

    std::shared_ptr<FakeLog> log = std::make_shared<FakeLog>();
    std::shared_ptr<ComApartment> apartment;
    VARIANT stored;
    Object probe;
};

TEST_F(ComDispatchTest, ArgumentsArriveLastFirstWithNamedOnesInFrontAndIdsFromOneLookup) {
    const Variant r = probe.call("mix", {std::int32_t{1}, std::int16_t{2}, "three", {"flag", true}, {"COUNT", 2.5}});
    EXPECT_EQ(r, Variant(std::int32_t{42}));

    ASSERT_EQ(log->raw.size(), 1u);
    const testing::RawCall& call = log->raw[0];
    EXPECT_EQ(log->idLookups, 1) << "member and argument names go in one GetIDsOfNames call";
    EXPECT_EQ(call.flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    // rgvarg: Count, Flag, then the positional ones from the last: C, B, A.
    EXPECT_EQ(call.types, (std::vector<VARTYPE>{VT_R8, VT_BOOL, VT_BSTR, VT_I2, VT_I4}));
    EXPECT_EQ(call.namedIds, (std::vector<DISPID>{4, 3}));
    EXPECT_EQ(log->lines[0], "Probe.Mix call I4(1) I2(2) BSTR(\"three\") Flag:=BOOL(-1) Count:=R8(2.5)");
}

TEST_F(ComDispatchTest, ValuesCrossWithTheirAutomationTypes) {
    probe.call("Echo", {true});
    probe.call("Echo", {false});
    probe.call("Echo", {std::int16_t{0}});
    probe.call("Echo", {std::int32_t{0}});
    probe.call("Echo", {""});
    probe.call("Echo", {Variant()});
    EXPECT_EQ(log->lines, (std::vector<std::string>{"Probe.Echo call BOOL(-1)", "Probe.Echo call BOOL(0)",
                                                    "Probe.Echo call I2(0)", "Probe.Echo call I4(0)",
                                                    "Probe.Echo call BSTR(\"\")", "Probe.Echo call EMPTY"}));

    // And back again, unchanged in type and value.
    for (const Variant& v : {Variant(true), Variant(false), Variant(std::int16_t{-7}), Variant(std::int32_t{70000}),
                             Variant(-0.25), Variant("Grüße, 東京 \xF0\x9F\x99\x82"), Variant()}) {
        EXPECT_EQ(probe.call("Echo", {v}), v) << automation::typeName(v.type());
    }
    // A text with a NUL inside keeps its length.
    const std::string withNul("a\0b", 3);
    EXPECT_EQ(probe.call("Echo", {withNul}).toText(), withNul);
}

TEST_F(ComDispatchTest, ReturnedObjectsAreObjectsAndCanBePassedBack) {
    const Object child = probe.obj("Child");
    EXPECT_EQ(child.get("Name").toText(), "child");
    const Variant echoed = probe.call("Echo", {child});
    EXPECT_EQ(log->lines.back(), "Probe.Echo call DISPATCH(Child)");
    EXPECT_EQ(Object(echoed).get("name").toText(), "child");
    // Nothing crosses as a null object and comes back as Nothing.
    EXPECT_TRUE(Object(probe.call("Echo", {Variant(std::shared_ptr<automation::Dispatch>())})).isNothing());
}

TEST_F(ComDispatchTest, ValuesOfOtherKindsBecomeTheNearestValueTheProgramHolds) {
    auto give = [&](std::int32_t kind) { return probe.get("Give", {kind}); };
    EXPECT_EQ(give(1), Variant(1.5));
    EXPECT_EQ(give(2), Variant(4000000000.0));
    EXPECT_EQ(give(3), Variant(std::int32_t{65535}));
    EXPECT_EQ(give(4), Variant(1.2345));
    EXPECT_EQ(give(5), Variant(45000.5)) << "a date keeps its time of day";
    EXPECT_EQ(give(6), Variant(std::int32_t{7}));
    EXPECT_EQ(give(7), Variant(std::int32_t{static_cast<std::int32_t>(0x800A07FA)}));
    EXPECT_TRUE(give(8).isEmpty());
    EXPECT_EQ(Object(give(9)).get("Name").toText(), "child");
    EXPECT_EQ(failureOf([&] { give(10); }), failure_text::kTypeMismatch);
    EXPECT_EQ(give(11), Variant(std::int32_t{5}));
}

TEST_F(ComDispatchTest, PropertiesGetAndPutWithTheirOwnFlags) {
    probe.put("prop", std::int16_t{5});
    EXPECT_EQ(probe.get("Prop"), Variant(std::int16_t{5}));
    probe.put("Prop", {std::int32_t{3}}, "indexed");

    ASSERT_EQ(log->raw.size(), 3u);
    EXPECT_EQ(log->raw[0].flags, DISPATCH_PROPERTYPUT);
    EXPECT_EQ(log->raw[0].namedIds, (std::vector<DISPID>{DISPID_PROPERTYPUT}));
    EXPECT_EQ(log->raw[1].flags, DISPATCH_PROPERTYGET);
    EXPECT_EQ(log->raw[1].types, std::vector<VARTYPE>{});
    // The value comes first in the array, the index after it.
    EXPECT_EQ(log->raw[2].types, (std::vector<VARTYPE>{VT_BSTR, VT_I4}));
    EXPECT_EQ(log->lines[2], "Probe.Prop put I4(3) = BSTR(\"indexed\")");

    // A get on a member that is only a method is refused, as by a server with a
    // type library.
    EXPECT_EQ(failureOf([&] { probe.get("Fail"); }), failure_text::kNotSupported);
}

TEST_F(ComDispatchTest, AnObjectValueIsAReferencePutFirstAndAValuePutWhereTheServerHasOnlyThat) {
    const Object child = probe.obj("Child");
    probe.put("RefOnly", child);
    probe.put("ValueOnly", child);
    EXPECT_EQ(log->lines, (std::vector<std::string>{"Probe.Child get", "Probe.RefOnly putref = DISPATCH(Child)",
                                                    "Probe.ValueOnly putref = DISPATCH(Child)",
                                                    "Probe.ValueOnly put = DISPATCH(Child)"}));
    // A plain value never tries the reference put.
    EXPECT_EQ(failureOf([&] { probe.put("RefOnly", std::int32_t{1}); }), failure_text::kNotSupported);
}

TEST_F(ComDispatchTest, TheDefaultMemberIsDispatchIdZeroWithoutANameLookup) {
    EXPECT_EQ(probe.value().toText(), "the default");
    EXPECT_EQ(probe.get("", {std::int32_t{2}}).toText(), "item 2");
    EXPECT_EQ(log->idLookups, 0);
    EXPECT_EQ(log->lines, (std::vector<std::string>{"Probe._Default get", "Probe._Default get I4(2)"}));
}

TEST_F(ComDispatchTest, FailuresReadAsTheServerOrTheSystemDescribesThem) {
    EXPECT_EQ(failureOf([&] { probe.call("Nope"); }), failure_text::kNotSupported);
    EXPECT_EQ(failureOf([&] { probe.call("Echo", {{"NoSuchArgument", 1.0}}); }), "Named argument not found");
    EXPECT_EQ(failureOf([&] { probe.call("Fail", {std::int32_t{1}}); }), "The server's own words");
    EXPECT_EQ(failureOf([&] { probe.call("Fail", {std::int32_t{2}}); }), "Filled in later");
    EXPECT_EQ(failureOf([&] { probe.call("Fail", {std::int32_t{4}}); }), "Application-defined or object-defined error");
    EXPECT_EQ(failureOf([&] { probe.call("Fail", {std::int32_t{5}}); }), failure_text::kTypeMismatch);
    EXPECT_EQ(failureOf([&] { probe.call("Echo", {1.0, 2.0}); }), failure_text::kWrongArguments);
    // A code with no text of its own still reads as something, never as nothing.
    const std::string scodeOnly = failureOf([&] { probe.call("Fail", {std::int32_t{3}}); });
    EXPECT_FALSE(scodeOnly.empty());
    EXPECT_NE(scodeOnly, "(no failure)");
    EXPECT_EQ(failureOf([&] { probe.call("Fail", {std::int32_t{9}}); }), "Automation error 0xA0041234");
    // Positional arguments after named ones cannot be laid out.
    EXPECT_EQ(failureOf([&] {
                  probe.invoke("Mix", automation::CallKind::Method, std::vector<Arg>{Arg("A", 1.0), Arg(2.0)});
              }),
              failure_text::kWrongArguments);
}

TEST_F(ComDispatchTest, AnObjectOfAnotherBackendCannotCross) {
    struct Local : automation::Dispatch {
        Variant invoke(std::string_view, automation::CallKind, std::span<const Arg>) override { return {}; }
    };
    const Object local(std::make_shared<Local>());
    EXPECT_EQ(failureOf([&] { probe.call("Echo", {local}); }), failure_text::kTypeMismatch);
    EXPECT_TRUE(log->lines.empty()) << "nothing reaches the server";
}

TEST(ComErrors, CodesWithoutAServerTextReadAsTheSystemWordsThem) {
    // What a call that a busy server kept turning away, or a server that went
    // away mid-run, shows in the error report.
    for (HRESULT hr : {RPC_E_CALL_REJECTED, RPC_E_DISCONNECTED, E_ACCESSDENIED}) {
        const std::string text = describeHresult(hr);
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(text.find("Automation error"), std::string::npos) << text;
        EXPECT_NE(text.back(), '\n') << text;
    }
    EXPECT_EQ(describeHresult(REGDB_E_CLASSNOTREG), failure_text::kCannotCreateObject);
}

TEST(ComRetry, ABusyServerIsRetriedForAMinuteAndThenGivenUp) {
    EXPECT_EQ(retryDelay(SERVERCALL_RETRYLATER, 0), kRetryEveryMs);
    EXPECT_EQ(retryDelay(SERVERCALL_REJECTED, kRetryForMs - 1), kRetryEveryMs);
    EXPECT_EQ(retryDelay(SERVERCALL_RETRYLATER, kRetryForMs), static_cast<DWORD>(-1));
    EXPECT_EQ(retryDelay(SERVERCALL_ISHANDLED, 0), static_cast<DWORD>(-1));
}

}  // namespace
}  // namespace qf::com
