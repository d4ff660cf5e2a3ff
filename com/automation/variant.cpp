#include "variant.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "base/failure.h"
#include "base/text.h"

namespace qf::automation {

namespace {

[[noreturn]] void mismatch() { throw Failure(failure_text::kTypeMismatch); }

std::string numberText(double d) {
    if (d == std::floor(d) && std::fabs(d) < 1e15) return std::to_string(static_cast<long long>(d));
    char buf[32];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, d);
    return ec == std::errc() ? std::string(buf, ptr) : std::string("0");
}

double checkedRound(double d, double lo, double hi) {
    // Banker's rounding, as the automation runtime rounds a double into an integer.
    const double r = std::nearbyint(d);
    if (!(r >= lo && r <= hi)) throw Failure("Overflow");
    return r;
}

}  // namespace

std::string Variant::toText() const {
    switch (type()) {
        case VarType::Empty: return {};
        case VarType::Bool: return std::get<Boolean>(v_).value ? "True" : "False";
        case VarType::Int16: return std::to_string(std::get<std::int16_t>(v_));
        case VarType::Int32: return std::to_string(std::get<std::int32_t>(v_));
        case VarType::Double: return numberText(std::get<double>(v_));
        case VarType::Text: return std::get<std::string>(v_);
        case VarType::Object: mismatch();
    }
    mismatch();
}

bool Variant::toBool() const {
    switch (type()) {
        case VarType::Empty: return false;
        case VarType::Bool: return std::get<Boolean>(v_).value;
        case VarType::Int16: return std::get<std::int16_t>(v_) != 0;
        case VarType::Int32: return std::get<std::int32_t>(v_) != 0;
        case VarType::Double: return std::get<double>(v_) != 0.0;
        case VarType::Text: {
            const std::optional<bool> value = booleanText(std::get<std::string>(v_));
            if (!value) mismatch();
            return *value;
        }
        case VarType::Object: mismatch();
    }
    mismatch();
}

double Variant::toDouble() const {
    switch (type()) {
        case VarType::Empty: return 0.0;
        case VarType::Bool: return std::get<Boolean>(v_).value ? -1.0 : 0.0;
        case VarType::Int16: return std::get<std::int16_t>(v_);
        case VarType::Int32: return std::get<std::int32_t>(v_);
        case VarType::Double: return std::get<double>(v_);
        case VarType::Text: {
            const std::optional<double> value = decimalText(std::get<std::string>(v_));
            if (!value) mismatch();
            return *value;
        }
        case VarType::Object: mismatch();
    }
    mismatch();
}

std::int16_t Variant::toInt16() const {
    return static_cast<std::int16_t>(
        checkedRound(toDouble(), std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()));
}

std::int32_t Variant::toInt32() const {
    return static_cast<std::int32_t>(
        checkedRound(toDouble(), std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::shared_ptr<Dispatch> Variant::toDispatch() const {
    if (type() != VarType::Object) throw Failure("Object required");
    return std::get<std::shared_ptr<Dispatch>>(v_);
}

bool operator==(const Variant& a, const Variant& b) { return a.v_ == b.v_; }

const char* typeName(VarType type) {
    switch (type) {
        case VarType::Empty: return "Empty";
        case VarType::Bool: return "Boolean";
        case VarType::Int16: return "Integer";
        case VarType::Int32: return "Long";
        case VarType::Double: return "Double";
        case VarType::Text: return "String";
        case VarType::Object: return "Object";
    }
    return "?";
}

}  // namespace qf::automation
