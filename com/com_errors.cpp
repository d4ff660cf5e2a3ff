#include "com_errors.h"

#include <cstdio>

#include "base/failure.h"
#include "base/text.h"
#include "com_support.h"

namespace qf::com {

namespace {

// The system's text for a code, without the trailing line break; empty when the
// system has none.
std::string systemMessage(HRESULT hr) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0 && buffer) text = narrow(buffer, length);
    if (buffer) LocalFree(buffer);
    return std::string(trimEndAny(text, "\r\n "));
}

}  // namespace

std::string describeHresult(HRESULT hr) {
    switch (hr) {
        case DISP_E_MEMBERNOTFOUND:
        case DISP_E_UNKNOWNNAME: return failure_text::kNotSupported;
        case DISP_E_TYPEMISMATCH: return failure_text::kTypeMismatch;
        case DISP_E_BADPARAMCOUNT: return failure_text::kWrongArguments;
        case DISP_E_PARAMNOTOPTIONAL: return failure_text::kArgumentNotOptional;
        case DISP_E_PARAMNOTFOUND: return "Named argument not found";
        case DISP_E_OVERFLOW: return "Overflow";
        case DISP_E_BADINDEX: return failure_text::kSubscriptOutOfRange;
        case REGDB_E_CLASSNOTREG:
        case CO_E_CLASSSTRING:
        case MK_E_UNAVAILABLE: return failure_text::kCannotCreateObject;
        // A server in another process that is busy, or gone: the system's own
        // words, given here as well because not every system has them.
        case RPC_E_CALL_REJECTED: return "Call was rejected by callee.";
        case RPC_E_SERVERCALL_RETRYLATER: return "The message filter indicated that the application is busy.";
        case RPC_E_DISCONNECTED: return "The object invoked has disconnected from its clients.";
        case RPC_E_SERVERFAULT: return "The server threw an exception.";
        case HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE): return "The RPC server is unavailable.";
        default: break;
    }
    std::string text = systemMessage(hr);
    if (!text.empty()) return text;
    char code[32];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    return std::string("Automation error ") + code;
}

std::string takeExceptionDescription(EXCEPINFO& info) {
    if (info.pfnDeferredFillIn) {
        info.pfnDeferredFillIn(&info);
        info.pfnDeferredFillIn = nullptr;
    }
    std::string description = narrow(info.bstrDescription);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    info.bstrSource = info.bstrDescription = info.bstrHelpFile = nullptr;
    if (!description.empty()) return description;
    if (FAILED(info.scode)) return describeHresult(info.scode);
    // A server error that carries only its own number.
    return "Application-defined or object-defined error";
}

void fail(HRESULT hr) { throw Failure(describeHresult(hr)); }

}  // namespace qf::com
