#pragma once
// Late binding: objects whose members are called by name, with variant
// arguments, positional or named: how com/ reaches the installed spreadsheet
// application. COM's IDispatch implements Dispatch (com_dispatch.h); callers
// hold Objects.
//
//     Object app = provider.create("Excel.Application");
//     Object books = app.obj("Workbooks");
//     books.call("Add");
//     Object qt = sheet.obj("QueryTables").callObj("Add", {{"Connection", text}, {"Destination", range}});
//     qt.put("RefreshPeriod", std::int16_t{0});

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "variant.h"

namespace qf::automation {

// One argument: positional when the name is empty.
struct Arg {
    Arg(Variant v) : value(std::move(v)) {}
    template <class T>
    requires(!std::same_as<std::remove_cvref_t<T>, Arg> && !std::same_as<std::remove_cvref_t<T>, Variant> &&
             std::constructible_from<Variant, T>) Arg(T&& v)
        : value(Variant(std::forward<T>(v))) {}
    Arg(std::string n, Variant v) : name(std::move(n)), value(std::move(v)) {}
    std::string name;
    Variant value;
};

enum class CallKind {
    Get,     // property get
    Put,     // property put: the last argument is the value
    Method,  // method call, or property get (as late binding tries both)
};

// What a backend implements. An empty member name means the default member.
// Member and argument names match without regard to letter case. Positional
// arguments come first, in order, then the named ones.
class Dispatch {
public:
    virtual ~Dispatch() = default;
    virtual Variant invoke(std::string_view member, CallKind kind, std::span<const Arg> args) = 0;
};

// A reference to an automation object. A default-constructed or released Object
// is Nothing: every call on it fails with "Object variable or With block variable not set".
class Object {
public:
    Object() = default;
    explicit Object(std::shared_ptr<Dispatch> target) : target_(std::move(target)) {}
    Object(const Variant& v) : target_(v.toDispatch()) {}

    Variant get(std::string_view member, std::initializer_list<Arg> args = {}) const;
    Variant call(std::string_view member, std::initializer_list<Arg> args = {}) const;
    void put(std::string_view member, Variant value) const;
    void put(std::string_view member, std::initializer_list<Arg> index, Variant value) const;

    // Shorthands for calls that give an object.
    Object obj(std::string_view member, std::initializer_list<Arg> args = {}) const;
    Object callObj(std::string_view member, std::initializer_list<Arg> args = {}) const;

    // The default member (dispatch id 0).
    Variant value() const;

    // The general form, for argument lists built at run time.
    Variant invoke(std::string_view member, CallKind kind, std::span<const Arg> args) const;

    void release() { target_.reset(); }
    bool isNothing() const { return !target_; }
    const std::shared_ptr<Dispatch>& dispatch() const { return target_; }
    operator Variant() const { return Variant(target_); }

private:
    Dispatch& target() const;
    std::shared_ptr<Dispatch> target_;
};

// The number of positional arguments, which come first; fails when a
// positional one follows a named one.
std::size_t positionalCount(std::span<const Arg> args);

}  // namespace qf::automation
