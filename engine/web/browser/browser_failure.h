#pragma once

#include "base/failure.h"

namespace qf::browser {

// The browser could not render a page: it ended, broke off, did not answer in
// time, or could not open the page. what() says which; the page is read as
// served.
struct BrowserFailure : Failure {
    using Failure::Failure;
};

}  // namespace qf::browser
