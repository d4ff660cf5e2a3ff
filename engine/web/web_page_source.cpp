#include "web_page_source.h"

#include "page_loader.h"

namespace qf::engine {

std::unique_ptr<PageSource> makeWebPageSource(const FetchLimits& limits, const LoadLimits& load,
                                              const WebQueryOptions& aheadOptions) {
    return std::make_unique<PageLoader>(limits, load, aheadOptions);
}

}  // namespace qf::engine
