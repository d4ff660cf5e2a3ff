#pragma once
// The error trap shared by every handler that talks to the user.
//
// A trapped handler numbers its statements 100, 102, 104, ... (named constants
// beside the handler) and runs each one that can fail through its Trap. A
// statement that fails (throws) shows the error report box, naming the handler's
// location and the statement's number, and the handler goes on with the next
// statement. A routine called from a statement has no trap of its own: its
// failure is the calling statement's failure. Plain assignments and tests of
// local values cannot fail and run as plain code. The window makes the
// locations (handlerLocation) and hands them to what runs its handlers.
//
//     Trap trap(ui, locations.addUrl);
//     std::string url;
//     trap.step(kAskAddress, [&] { url = ui.inputBox(...); });
//     if (url.empty()) return;
//     trap.step(kAppendAddress, [&] { list.append(url); });

#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "window_services.h"

namespace qf {

// The text of the error report box.
std::string errorReportText(const std::string& description, const std::string& location, int line);

inline constexpr const char* kErrorReportCaption = "Application Error";

// The location the error report names for a handler: the program's stamp, the
// module and the handler, then a space.
std::string handlerLocation(std::string_view module, std::string_view handler);

class Trap {
public:
    Trap(WindowServices& ui, std::string location) : ui_(ui), location_(std::move(location)) {}

    // Runs one statement. Returns false when it failed (and was reported).
    template <class F>
    bool step(int line, F&& statement) {
        try {
            std::forward<F>(statement)();
            return true;
        } catch (...) {
            report(line, std::current_exception());
            return false;
        }
    }

    // The test of a conditional whose consequence is a block of statements. A test
    // that fails counts as passed: the guarded statements run.
    template <class F>
    bool when(int line, F&& test) {
        try {
            return static_cast<bool>(std::forward<F>(test)());
        } catch (...) {
            report(line, std::current_exception());
            return true;
        }
    }

    // The test of a conditional whose only consequence is a jump. A test that fails
    // does not take the jump.
    template <class F>
    bool jumpIf(int line, F&& test) {
        try {
            return static_cast<bool>(std::forward<F>(test)());
        } catch (...) {
            report(line, std::current_exception());
            return false;
        }
    }

    // Shows the error report box for a failure caught elsewhere in the handler.
    void report(int line, std::exception_ptr failure);
    void report(int line, const std::string& description);

    const std::string& location() const { return location_; }
    WindowServices& ui() { return ui_; }

private:
    WindowServices& ui_;
    std::string location_;
};

// The description of a caught failure: the exception's own text.
std::string describe(std::exception_ptr failure);

}  // namespace qf
