#include "object.h"

#include "base/failure.h"

namespace qf::automation {

Dispatch& Object::target() const {
    if (!target_) throw Failure(failure_text::kObjectNotSet);
    return *target_;
}

Variant Object::invoke(std::string_view member, CallKind kind, std::span<const Arg> args) const {
    return target().invoke(member, kind, args);
}

Variant Object::get(std::string_view member, std::initializer_list<Arg> args) const {
    return invoke(member, CallKind::Get, std::span<const Arg>(args.begin(), args.size()));
}

Variant Object::call(std::string_view member, std::initializer_list<Arg> args) const {
    return invoke(member, CallKind::Method, std::span<const Arg>(args.begin(), args.size()));
}

void Object::put(std::string_view member, Variant value) const {
    const Arg arg(std::move(value));
    invoke(member, CallKind::Put, std::span<const Arg>(&arg, 1));
}

void Object::put(std::string_view member, std::initializer_list<Arg> index, Variant value) const {
    std::vector<Arg> args(index);
    args.emplace_back(std::move(value));
    invoke(member, CallKind::Put, args);
}

Object Object::obj(std::string_view member, std::initializer_list<Arg> args) const { return Object(get(member, args)); }

Object Object::callObj(std::string_view member, std::initializer_list<Arg> args) const {
    return Object(call(member, args));
}

Variant Object::value() const { return invoke({}, CallKind::Get, {}); }

std::size_t positionalCount(std::span<const Arg> args) {
    std::size_t positional = 0;
    bool namedSeen = false;
    for (const Arg& a : args) {
        if (a.name.empty()) {
            if (namedSeen) throw Failure(failure_text::kWrongArguments);
            ++positional;
        } else {
            namedSeen = true;
        }
    }
    return positional;
}

}  // namespace qf::automation
