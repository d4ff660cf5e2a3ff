#include "web_page_source.h"

#include "page_loader.h"

namespace qf::engine {

std::unique_ptr<PageSource> makeWebPageSource(const FetchLimits& limits, const LoadLimits& load) {
    return std::make_unique<PageLoader>(limits, load);
}

}  // namespace qf::engine
