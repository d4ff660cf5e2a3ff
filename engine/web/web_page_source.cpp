#include "web_page_source.h"

#include "engine/web/browser/renderer.h"
#include "page_loader.h"

namespace qf::engine {

bool renderingBrowserInstalled() { return !browser::findBrowserProgram().empty(); }

std::string renderingBrowserToInstall() { return browser::browserToInstall(); }

std::unique_ptr<PageSource> makeWebPageSource(const FetchLimits& limits, const LoadLimits& load,
                                              const WebQueryOptions& aheadOptions, const RenderSettings& render,
                                              std::shared_ptr<const RequestSettings> request) {
    if (!request || !request->cookies) {
        auto own = std::make_shared<RequestSettings>(
            request ? *request
                    : browserLikeRequest(aheadOptions.locale.empty() ? aheadOptions.userLocale : aheadOptions.locale));
        own->cookies = std::make_shared<CookieStore>();
        request = std::move(own);
    }
    return std::make_unique<PageLoader>(limits, load, aheadOptions, render, std::move(request));
}

}  // namespace qf::engine
