#pragma once
// Entering COM, and creating and finding automation servers by programmatic
// identifier.

#include <windows.h>

#include <memory>
#include <string_view>

#include "com/automation/object.h"

namespace qf::com {

// COM on the calling thread, apartment-threaded, for as long as a holder lives.
// The user-interface thread enters it once; every object reached through it
// keeps it. A thread whose COM the window toolkit already set up apartment-
// threaded shares that set-up. While the apartment is ours a message filter
// retries calls that a busy server rejects (see retryDelay).
class ComApartment {
public:
    // The calling thread's apartment, entered on first use.
    static std::shared_ptr<ComApartment> enter();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    ComApartment() = default;
    bool initialized_ = false;
    struct Filter;
    std::unique_ptr<Filter> filter_;
};

// How long to wait before retrying a call that a server rejected
// (SERVERCALL_RETRYLATER or SERVERCALL_REJECTED) after elapsedMs of trying, or
// -1 to give up: the call then fails with "Call was rejected by callee".
// A server that stays busy for a minute is given up on.
inline constexpr DWORD kRetryForMs = 60000;
inline constexpr DWORD kRetryEveryMs = 250;
DWORD retryDelay(DWORD rejectType, DWORD elapsedMs);

// Automation objects over COM, by programmatic identifier.
class ComProvider {
public:
    ComProvider();
    // CLSIDFromProgID, then CoCreateInstance (in-process or local server).
    automation::Object create(std::string_view progId);
    // The instance registered in the running object table (GetActiveObject).
    automation::Object getRunning(std::string_view progId);

    const std::shared_ptr<ComApartment>& apartment() const { return apartment_; }

private:
    std::shared_ptr<ComApartment> apartment_;
};

// True when the programmatic identifier names a registered class.
bool isRegistered(std::string_view progId);

}  // namespace qf::com
