#pragma once
// The description a statement fails with, as the error report box would show it.

#include <functional>
#include <string>

#include "base/failure.h"

namespace qf::testing {

inline std::string failureOf(const std::function<void()>& statement) {
    try {
        statement();
    } catch (const Failure& e) {
        return e.what();
    }
    return "(no failure)";
}

}  // namespace qf::testing
