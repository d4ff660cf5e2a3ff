#include "web_page_source.h"

#include "engine/web/browser/renderer.h"
#include "page_loader.h"

namespace qf::engine {

bool renderingBrowserInstalled() { return !browser::findBrowserProgram().empty(); }

std::string renderingBrowserToInstall() { return browser::browserToInstall(); }

std::unique_ptr<PageSource> makeWebPageSource(const FetchLimits& limits, const LoadLimits& load,
                                              const WebQueryOptions& options, const RenderSettings& render,
                                              std::shared_ptr<const RequestSettings> request) {
    if (!request || !request->cookies) {
        auto own = std::make_shared<RequestSettings>(
            request ? *request : browserLikeRequest(options.locale.empty() ? options.userLocale : options.locale));
        own->cookies = std::make_shared<CookieStore>();
        request = std::move(own);
    }
    return std::make_unique<PageLoader>(limits, load, options, render, std::move(request));
}

}  // namespace qf::engine
