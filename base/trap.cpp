#include "trap.h"

#include <new>

#include "failure.h"
#include "program_info.h"

namespace qf {

std::string errorReportText(const std::string& description, const std::string& location, int line) {
    return description + "\r\n" + location + "at line " + std::to_string(line) + "\r\r" +
           "Please email screenshot of this message to " + supportEmail();
}

std::string handlerLocation(std::string_view module, std::string_view handler) {
    std::string location = "in QuillfenApp2021/08/31.";
    location += module;
    location += '.';
    location += handler;
    location += ' ';
    return location;
}

std::string describe(std::exception_ptr failure) {
    try {
        std::rethrow_exception(std::move(failure));
    } catch (const std::bad_alloc&) {
        return failure_text::kOutOfMemory;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown error";
    }
}

void Trap::report(int line, std::exception_ptr failure) { report(line, describe(std::move(failure))); }

void Trap::report(int line, const std::string& description) {
    // The box itself must not let a failure escape into the event loop.
    try {
        ui_.reportFailure(description, location_, line);
    } catch (...) {}
}

}  // namespace qf
