#include "web_page_source.h"

#include "engine/web/browser/renderer.h"
#include "page_loader.h"

namespace qf::engine {

bool renderingBrowserInstalled() { return !browser::findBrowserProgram().empty(); }

std::string renderingBrowserToInstall() { return browser::browserToInstall(); }

std::unique_ptr<PageSource> makeWebPageSource(const FetchLimits& limits, const LoadLimits& load,
                                              const WebQueryOptions& aheadOptions, const RenderSettings& render) {
    return std::make_unique<PageLoader>(limits, load, aheadOptions, render);
}

}  // namespace qf::engine
