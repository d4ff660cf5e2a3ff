#include "com_dispatch.h"

#include "base/failure.h"
#include "com_errors.h"

namespace qf::com {

using automation::Arg;
using automation::CallKind;
using automation::Variant;

namespace {

// The ids of the member and of the named arguments, in that order.
std::vector<DISPID> lookUpIds(IDispatch& target, std::string_view member, std::span<const Arg> named) {
    std::vector<DISPID> ids(1 + named.size(), DISPID_UNKNOWN);
    if (member.empty()) {
        // The default member has no name under which its parameters could be found.
        if (!named.empty()) throw Failure(describeHresult(DISP_E_PARAMNOTFOUND));
        ids[0] = DISPID_VALUE;
        return ids;
    }
    std::vector<std::wstring> names;
    names.reserve(ids.size());
    names.push_back(widen(member));
    for (const Arg& a : named) names.push_back(widen(a.name));
    std::vector<LPOLESTR> pointers;
    for (auto& n : names) pointers.push_back(n.data());
    const HRESULT hr = target.GetIDsOfNames(IID_NULL, pointers.data(), static_cast<UINT>(pointers.size()),
                                            LOCALE_USER_DEFAULT, ids.data());
    if (hr == DISP_E_UNKNOWNNAME) {
        // The member itself, or only one of the argument names?
        fail(ids[0] == DISPID_UNKNOWN ? DISP_E_MEMBERNOTFOUND : DISP_E_PARAMNOTFOUND);
    }
    if (FAILED(hr)) fail(hr);
    return ids;
}

}  // namespace

ComDispatch::ComDispatch(ComRef<IDispatch> target, std::shared_ptr<ComApartment> apartment)
    : target_(std::move(target)), apartment_(std::move(apartment)) {}

Variant ComDispatch::invoke(std::string_view member, CallKind kind, std::span<const Arg> args) {
    if (!target_) throw Failure(failure_text::kObjectNotSet);
    const bool put = kind == CallKind::Put;
    if (put && (args.empty() || !args.back().name.empty())) throw Failure(failure_text::kWrongArguments);

    // For a put the last argument is the value; the others are the property's index.
    const std::span<const Arg> callArgs = put ? args.first(args.size() - 1) : args;
    const std::size_t positional = automation::positionalCount(callArgs);  // positional ones first, then named
    const std::span<const Arg> named = callArgs.subspan(positional);
    const std::vector<DISPID> ids = lookUpIds(*target_.get(), member, named);

    // COM wants the arguments from last to first: rgvarg[0] is the last one. The
    // put value, when there is one, is last and named DISPID_PROPERTYPUT, so the
    // named values stand first in the array.
    const std::size_t total = args.size();
    const std::size_t namedCount = named.size() + (put ? 1 : 0);
    VariantArray values(total);
    std::vector<DISPID> namedIds(namedCount);
    for (std::size_t i = 0; i < total; ++i) toVariant(args[i].value, values[total - 1 - i]);
    if (put) namedIds[0] = DISPID_PROPERTYPUT;
    for (std::size_t k = 0; k < named.size(); ++k) namedIds[(put ? 1 : 0) + named.size() - 1 - k] = ids[1 + k];

    DISPPARAMS params{};
    params.rgvarg = total ? values.data() : nullptr;
    params.cArgs = static_cast<UINT>(total);
    params.rgdispidNamedArgs = namedCount ? namedIds.data() : nullptr;
    params.cNamedArgs = static_cast<UINT>(namedCount);

    WORD flags = DISPATCH_PROPERTYGET;
    if (kind == CallKind::Method) flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
    const bool reference = put && args.back().value.type() == automation::VarType::Object;
    if (put) flags = reference ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;

    VariantValue result;
    auto call = [&](WORD how) {
        EXCEPINFO info{};
        UINT argError = 0;
        const HRESULT hr = target_->Invoke(ids[0], IID_NULL, LOCALE_USER_DEFAULT, how, &params,
                                           put ? nullptr : result.get(), &info, &argError);
        if (hr == DISP_E_EXCEPTION) throw Failure(takeExceptionDescription(info));
        return hr;
    };
    HRESULT hr = call(flags);
    if (reference && hr == DISP_E_MEMBERNOTFOUND) hr = call(DISPATCH_PROPERTYPUT);
    if (FAILED(hr)) fail(hr);
    return put ? Variant() : fromVariant(*result, apartment_);
}

automation::Object wrap(IDispatch* target, std::shared_ptr<ComApartment> apartment) {
    if (!target) return {};
    return automation::Object(std::make_shared<ComDispatch>(ComRef<IDispatch>::share(target), std::move(apartment)));
}

}  // namespace qf::com
