#pragma once
// Late binding: objects whose members are called by name, with variant
// arguments, positional or named. A backend (the embedded spreadsheet engine, or
// COM on Windows) implements Dispatch; callers hold Objects.
//
//     Object app = provider.create("Excel.Application");
//     Object books = app.obj("Workbooks");
//     books.call("Add");
//     Object qt = sheet.obj("QueryTables").callObj("Add", {{"Connection", text}, {"Destination", range}});
//     qt.put("RefreshPeriod", std::int16_t{0});

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
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

// A web query a refresh is expected to load: its connection text ("URL;...")
// and a key that names the entry it comes from. Keys grow in the order the
// refreshes will come.
struct UpcomingQuery {
    std::int64_t key = 0;
    std::string connection;
    bool operator==(const UpcomingQuery&) const = default;
};

// An optional capability of an application instance: loading the pages of web
// queries before their refreshes ask for them, and keeping the caller's
// thread responsive while a refresh waits. Used from the thread that drives
// the application.
class ReadAhead {
public:
    virtual ~ReadAhead() = default;
    // How many queries beyond the next one are worth naming (0: none).
    virtual std::size_t depth() const = 0;
    // The queries still to come, the next refresh's first. Replaces what was
    // named before: pages named before and no longer named (or named with
    // another connection) are dropped, and a transfer of theirs is cancelled.
    // A refresh whose connection is not the first named loads its page afresh.
    virtual void expect(const std::vector<UpcomingQuery>& upcoming) = 0;
    // Called at least every 20 ms while a refresh waits for its page. It may
    // start another run (on another application instance).
    virtual void setWaitHook(std::function<void()> hook) = 0;
    // Drops every page loaded ahead and cancels every transfer at once.
    virtual void stop() = 0;
};

// Creates automation objects by programmatic identifier ("Excel.Application").
class Provider {
public:
    virtual ~Provider() = default;
    // A new instance; fails when none can be created.
    virtual Object create(std::string_view progId) = 0;
    // The running instance; fails when none runs.
    virtual Object getRunning(std::string_view progId) = 0;
    // The read-ahead of an application instance this provider created, or
    // nullptr when the provider loads pages only as refreshes ask (the default).
    virtual std::shared_ptr<ReadAhead> readAhead(const Object& /*application*/) { return nullptr; }
};

// Helpers for backends that implement Dispatch.
bool sameName(std::string_view a, std::string_view b);  // ASCII, any letter case

// Reads a call's arguments by position or by name, and checks that no argument is
// left over. Failures read as the automation runtime's.
class ArgReader {
public:
    explicit ArgReader(std::span<const Arg> args);
    // The argument at a position, or the named one; nullptr when absent.
    const Variant* find(std::size_t position, std::string_view name) const;
    const Variant& required(std::size_t position, std::string_view name) const;
    std::size_t positionalCount() const { return positional_; }
    std::size_t size() const { return args_.size(); }
    // Fails when an argument names none of the known names, or there are more
    // positional arguments than allowed.
    void expectOnly(std::size_t maxPositional, std::initializer_list<std::string_view> names) const;

private:
    std::span<const Arg> args_;
    std::size_t positional_ = 0;
};

}  // namespace qf::automation
