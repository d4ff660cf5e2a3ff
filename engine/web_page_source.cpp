#include "web_page_source.h"

#include "base/failure.h"

namespace qf::engine {

// Replaced by the fetching source.
std::unique_ptr<PageSource> makeWebPageSource(const FetchLimits&) {
    struct Unavailable : PageSource {
        PageGrid load(const std::string& connection, const WebQueryOptions&) override {
            throw Failure("Unable to open " + connection + ". Cannot download the information you requested.");
        }
    };
    return std::make_unique<Unavailable>();
}

}  // namespace qf::engine
