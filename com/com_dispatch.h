#pragma once
// The automation interface over COM's IDispatch: every call goes by name, with
// the member's and the named arguments' ids looked up in one GetIDsOfNames call.

#include <windows.h>
#include <oaidl.h>

#include <memory>

#include "com_support.h"
#include "com/automation/object.h"

namespace qf::com {

class ComDispatch : public automation::Dispatch {
public:
    ComDispatch(ComRef<IDispatch> target, std::shared_ptr<ComApartment> apartment);

    // Calls a member by name (the default member, DISPID_VALUE, for an empty name):
    //   Get     DISPATCH_PROPERTYGET
    //   Method  DISPATCH_METHOD | DISPATCH_PROPERTYGET, as late binding calls
    //   Put     DISPATCH_PROPERTYPUT, the value passed as DISPID_PROPERTYPUT. An
    //           object value is a reference assignment: DISPATCH_PROPERTYPUTREF
    //           first, and DISPATCH_PROPERTYPUT when the server has no such member.
    // Arguments reach the server in reverse order, the named ones first.
    automation::Variant invoke(std::string_view member, automation::CallKind kind,
                               std::span<const automation::Arg> args) override;

    IDispatch* get() const { return target_.get(); }

private:
    ComRef<IDispatch> target_;
    std::shared_ptr<ComApartment> apartment_;
};

// An Object for an IDispatch (a reference of its own is taken).
automation::Object wrap(IDispatch* target, std::shared_ptr<ComApartment> apartment);

}  // namespace qf::com
