#include "com_support.h"

#include <cmath>
#include <limits>

#include "base/failure.h"
#include "com_dispatch.h"

namespace qf::com {

using automation::VarType;

std::wstring widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), length);
    return out;
}

std::string narrow(const wchar_t* utf16, std::size_t length) {
    if (!utf16 || length == 0) return {};
    const int size = static_cast<int>(length);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, utf16, size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16, size, out.data(), bytes, nullptr, nullptr);
    return out;
}

std::string narrow(BSTR text) { return narrow(text, text ? SysStringLen(text) : 0); }

Bstr::Bstr(std::string_view utf8) {
    const std::wstring wide = widen(utf8);
    s_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!s_) throw Failure(failure_text::kOutOfMemory);
}

void toVariant(const automation::Variant& value, VARIANT& out) {
    VariantInit(&out);
    switch (value.type()) {
        case VarType::Empty: return;
        case VarType::Bool:
            out.vt = VT_BOOL;
            out.boolVal = value.toBool() ? VARIANT_TRUE : VARIANT_FALSE;
            return;
        case VarType::Int16:
            out.vt = VT_I2;
            out.iVal = value.toInt16();
            return;
        case VarType::Int32:
            out.vt = VT_I4;
            out.lVal = value.toInt32();
            return;
        case VarType::Double:
            out.vt = VT_R8;
            out.dblVal = value.toDouble();
            return;
        case VarType::Text: {
            Bstr text(value.toText());
            out.vt = VT_BSTR;
            out.bstrVal = text.detach();
            return;
        }
        case VarType::Object: {
            const auto target = value.toDispatch();
            IDispatch* raw = nullptr;
            if (target) {
                auto* com = dynamic_cast<ComDispatch*>(target.get());
                if (!com) throw Failure(failure_text::kTypeMismatch);
                raw = com->get();
                if (raw) raw->AddRef();
            }
            out.vt = VT_DISPATCH;
            out.pdispVal = raw;
            return;
        }
    }
}

automation::Variant fromVariant(const VARIANT& in, const std::shared_ptr<ComApartment>& apartment) {
    if (in.vt & VT_BYREF) {
        VariantValue plain;
        const HRESULT hr = VariantCopyInd(plain.get(), const_cast<VARIANT*>(&in));
        if (FAILED(hr)) throw Failure(failure_text::kTypeMismatch);
        return fromVariant(*plain, apartment);
    }
    switch (in.vt) {
        case VT_EMPTY:
        case VT_NULL: return {};
        case VT_BOOL: return automation::Variant(in.boolVal != VARIANT_FALSE);
        case VT_I2: return automation::Variant(static_cast<std::int16_t>(in.iVal));
        case VT_UI1: return automation::Variant(static_cast<std::int16_t>(in.bVal));
        case VT_I1: return automation::Variant(static_cast<std::int16_t>(in.cVal));
        case VT_I4: return automation::Variant(static_cast<std::int32_t>(in.lVal));
        case VT_INT: return automation::Variant(static_cast<std::int32_t>(in.intVal));
        case VT_R8: return automation::Variant(in.dblVal);
        case VT_R4: return automation::Variant(static_cast<double>(in.fltVal));
        case VT_ERROR: return automation::Variant(static_cast<std::int32_t>(in.scode));
        case VT_BSTR: return automation::Variant(narrow(in.bstrVal));
        case VT_DISPATCH: return automation::Variant(wrap(in.pdispVal, apartment).dispatch());
        case VT_UNKNOWN: {
            if (!in.punkVal) return automation::Variant(std::shared_ptr<automation::Dispatch>());
            ComRef<IDispatch> d;
            if (FAILED(in.punkVal->QueryInterface(IID_IDispatch, d.outVoid()))) throw Failure("Object required");
            return automation::Variant(wrap(d.get(), apartment).dispatch());
        }
        default: break;
    }
    if (in.vt & VT_ARRAY) throw Failure(failure_text::kTypeMismatch);
    // Other numbers (unsigned, 64-bit, currency, decimal, dates) as doubles; a
    // whole number that fits a 32-bit integer stays one.
    VariantValue number;
    if (FAILED(VariantChangeType(number.get(), const_cast<VARIANT*>(&in), 0, VT_R8)))
        throw Failure(failure_text::kTypeMismatch);
    const double d = (*number).dblVal;
    if (in.vt != VT_DATE && in.vt != VT_CY && in.vt != VT_DECIMAL && std::floor(d) == d &&
        d >= std::numeric_limits<std::int32_t>::min() && d <= std::numeric_limits<std::int32_t>::max())
        return automation::Variant(static_cast<std::int32_t>(d));
    return automation::Variant(d);
}

}  // namespace qf::com
