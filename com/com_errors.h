#pragma once
// Failures of COM calls, described as the user reads them in the error report box.

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace qf::com {

// A readable description of an HRESULT: the automation runtime's wording for the
// dispatch errors a late-bound call meets, else the system's own text for the code, else
// "Automation error" with the code.
std::string describeHresult(HRESULT hr);

// The description of a DISP_E_EXCEPTION: the deferred fill-in runs first; then
// the server's own text, else the text for its error code. Frees the strings.
std::string takeExceptionDescription(EXCEPINFO& info);

// Throws qf::Failure with describeHresult(hr).
[[noreturn]] void fail(HRESULT hr);

}  // namespace qf::com
