#include "web_page_source.h"

#include "base/failure.h"
#include "charset.h"
#include "fetch.h"
#include "html_layout.h"

namespace qf::engine {

namespace {

bool startsWithUrlPrefix(const std::string& connection) {
    return connection.size() >= 4 && (connection[0] == 'U' || connection[0] == 'u') &&
           (connection[1] == 'R' || connection[1] == 'r') && (connection[2] == 'L' || connection[2] == 'l') &&
           connection[3] == ';';
}

class WebPageSource : public PageSource {
public:
    explicit WebPageSource(const FetchLimits& limits) : fetcher_(limits) {}

    PageGrid load(const std::string& connection, const WebQueryOptions& options) override {
        if (!startsWithUrlPrefix(connection))
            throw Failure(unableToOpen(connection, "a web query's connection begins with \"URL;\""));
        const std::string address = connection.substr(4);
        FetchedPage page = fetcher_.fetch(address, !options.disableRedirections);
        const bool html = page.kind == PageKind::Html;
        std::string text = decodeToUtf8(std::move(page.body), charsetParameter(page.contentType), html);
        try {
            return html ? layoutHtml(text, options) : layoutText(text, options);
        } catch (const PageRefused& refused) {
            throw Failure(unableToOpen(address, refused.what()));
        }
    }

private:
    Fetcher fetcher_;
};

}  // namespace

std::unique_ptr<PageSource> makeWebPageSource(const FetchLimits& limits) {
    return std::make_unique<WebPageSource>(limits);
}

}  // namespace qf::engine
