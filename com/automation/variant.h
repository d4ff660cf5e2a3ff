#pragma once
// An automation variant: the value that crosses the late-bound interface.

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

namespace qf::automation {

class Dispatch;

enum class VarType { Empty, Bool, Int16, Int32, Double, Text, Object };

class Variant {
public:
    Variant() = default;
    Variant(bool b) : v_(Boolean{b}) {}
    Variant(std::int16_t i) : v_(i) {}
    Variant(std::int32_t i) : v_(i) {}
    Variant(double d) : v_(d) {}
    Variant(std::string s) : v_(std::move(s)) {}
    Variant(const char* s) : v_(std::string(s)) {}
    Variant(std::shared_ptr<Dispatch> object) : v_(std::move(object)) {}

    VarType type() const { return static_cast<VarType>(v_.index()); }
    bool isEmpty() const { return type() == VarType::Empty; }

    // Conversions as late binding makes them; each raises "Type mismatch" when the
    // value cannot be converted.
    std::string toText() const;  // booleans read "True" / "False"
    bool toBool() const;         // "True"/"False" in any case, or any number (0 is false)
    std::int16_t toInt16() const;
    std::int32_t toInt32() const;
    double toDouble() const;
    std::shared_ptr<Dispatch> toDispatch() const;  // "Object required" when not an object

    // The automation boolean's stored value: True is -1, False is 0.
    static constexpr std::int16_t kTrue = -1;
    static constexpr std::int16_t kFalse = 0;

    friend bool operator==(const Variant& a, const Variant& b);

private:
    struct Boolean {
        bool value;
        bool operator==(const Boolean&) const = default;
    };
    std::variant<std::monostate, Boolean, std::int16_t, std::int32_t, double, std::string, std::shared_ptr<Dispatch>>
        v_;
};

const char* typeName(VarType type);

}  // namespace qf::automation
