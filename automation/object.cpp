#include "object.h"

#include <cctype>

#include "base/failure.h"
#include "base/text.h"

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

bool sameName(std::string_view a, std::string_view b) { return sameIgnoringAsciiCase(a, b); }

ArgReader::ArgReader(std::span<const Arg> args) : args_(args) {
    bool namedSeen = false;
    for (const Arg& a : args_) {
        if (a.name.empty()) {
            if (namedSeen) throw Failure(failure_text::kWrongArguments);
            ++positional_;
        } else {
            namedSeen = true;
        }
    }
}

const Variant* ArgReader::find(std::size_t position, std::string_view name) const {
    const Variant* found = position < positional_ ? &args_[position].value : nullptr;
    for (std::size_t i = positional_; i < args_.size(); ++i) {
        if (sameName(args_[i].name, name)) {
            if (found) throw Failure(failure_text::kWrongArguments);  // given twice
            found = &args_[i].value;
        }
    }
    return found;
}

const Variant& ArgReader::required(std::size_t position, std::string_view name) const {
    const Variant* v = find(position, name);
    if (!v) throw Failure(failure_text::kArgumentNotOptional);
    return *v;
}

void ArgReader::expectOnly(std::size_t maxPositional, std::initializer_list<std::string_view> names) const {
    if (positional_ > maxPositional) throw Failure(failure_text::kWrongArguments);
    for (std::size_t i = positional_; i < args_.size(); ++i) {
        bool known = false;
        for (auto n : names) known = known || sameName(args_[i].name, n);
        if (!known) throw Failure("Named argument not found");
    }
}

}  // namespace qf::automation
