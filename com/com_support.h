#pragma once
// Small owners for COM's raw resources, and the conversions between the
// automation interface's values and COM's. Windows only.

#include <windows.h>
#include <oleauto.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "com/automation/variant.h"

namespace qf::com {

class ComApartment;

// An owned interface pointer: released when the owner goes.
template <class T>
class ComRef {
public:
    ComRef() = default;
    // Takes over a reference the caller already owns.
    static ComRef adopt(T* p) {
        ComRef r;
        r.p_ = p;
        return r;
    }
    // Adds a reference of its own.
    static ComRef share(T* p) {
        if (p) p->AddRef();
        return adopt(p);
    }
    ComRef(const ComRef& o) : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    ComRef(ComRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComRef& operator=(ComRef o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComRef() { reset(); }

    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For functions that hand out a new reference; the old one is released first.
    T** out() {
        reset();
        return &p_;
    }
    void** outVoid() { return reinterpret_cast<void**>(out()); }
    // Gives the reference to the caller.
    T* detach() { return std::exchange(p_, nullptr); }

private:
    T* p_ = nullptr;
};

// An owned BSTR.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::string_view utf8);
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(s_); }
    BSTR get() const { return s_; }
    BSTR* out() {
        SysFreeString(s_);
        s_ = nullptr;
        return &s_;
    }
    BSTR detach() { return std::exchange(s_, nullptr); }

private:
    BSTR s_ = nullptr;
};

// An owned VARIANT: cleared when the owner goes.
class VariantValue {
public:
    VariantValue() { VariantInit(&v_); }
    VariantValue(const VariantValue&) = delete;
    VariantValue& operator=(const VariantValue&) = delete;
    ~VariantValue() { VariantClear(&v_); }
    VARIANT* get() { return &v_; }
    const VARIANT& operator*() const { return v_; }

private:
    VARIANT v_;
};

// A run of VARIANTs laid out as DISPPARAMS wants them; every one is cleared when
// the owner goes.
class VariantArray {
public:
    explicit VariantArray(std::size_t size) : v_(size) {
        for (auto& v : v_) VariantInit(&v);
    }
    VariantArray(const VariantArray&) = delete;
    VariantArray& operator=(const VariantArray&) = delete;
    ~VariantArray() {
        for (auto& v : v_) VariantClear(&v);
    }
    VARIANT* data() { return v_.data(); }
    VARIANT& operator[](std::size_t i) { return v_[i]; }
    std::size_t size() const { return v_.size(); }

private:
    std::vector<VARIANT> v_;
};

// UTF-8 <-> UTF-16. Malformed UTF-8 turns into replacement characters.
std::wstring widen(std::string_view utf8);
std::string narrow(const wchar_t* utf16, std::size_t length);
std::string narrow(BSTR text);  // a null BSTR is the empty text

// Fills an empty VARIANT from a value: booleans as VT_BOOL (-1 / 0), 16- and
// 32-bit integers as VT_I2 and VT_I4, doubles as VT_R8, texts as BSTR, objects
// as VT_DISPATCH (Nothing is a null VT_DISPATCH). An object that is not a COM
// object cannot cross: "Type mismatch".
void toVariant(const automation::Variant& value, VARIANT& out);

// The value of a VARIANT that a server gave back; objects keep the apartment
// alive. Values of other number types become doubles (or 32-bit integers where
// they fit exactly), VT_NULL reads as Empty, VT_ERROR as its code (a 32-bit
// integer); arrays and other kinds that the interface cannot hold fail with
// "Type mismatch".
automation::Variant fromVariant(const VARIANT& value, const std::shared_ptr<ComApartment>& apartment);

}  // namespace qf::com
