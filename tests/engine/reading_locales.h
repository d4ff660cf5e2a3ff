#pragma once
// The locales the value tests read pages with.

#include <string>

#include "engine/web/page_source.h"

namespace qf::engine {

// One locale forced on every page (empty: decided per page) and the user's.
struct Locales {
    std::string forced, user;
};

inline WebQueryOptions reading(const Locales& locales) {
    WebQueryOptions options;
    options.locale = locales.forced;
    options.userLocale = locales.user;
    return options;
}

}  // namespace qf::engine
