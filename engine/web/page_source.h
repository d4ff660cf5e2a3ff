#pragma once
// Where an import gets a page's cells: the address is fetched and laid out
// into a grid. The engine's own source fetches over HTTP(S); tests script one.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/upcoming_page.h"
#include "engine/workbook/cell.h"

namespace qf::engine {

// A page that a later load will ask for: its address and a key that names
// what it is for. Keys grow in the order the loads will come.
using qf::UpcomingPage;

// How a page is read and laid out (the engine reads every page of a workbook
// with the same options, EngineSettings::pageOptions).
struct WebQueryOptions {
    bool preFormattedTextToColumns = true;  // <pre> lines split into columns
    bool consecutiveDelimitersAsOne = true;
    bool disableDateRecognition = false;
    bool disableRedirections = false;
    // How values are read beyond what each page says (page_values.h): a
    // language tag ("de-CH") reads every page in its conventions; empty, each
    // page's are decided from the page.
    std::string locale;
    // The user's own locale, for pages that do not say theirs; empty: en-US.
    std::string userLocale;
    bool operator==(const WebQueryOptions&) const = default;
};

class PageSource {
public:
    virtual ~PageSource() = default;
    // Loads the page at the address ("http://..."), read with the options the
    // source was made with. Fails (qf::Failure) with a description when the
    // page cannot be read.
    virtual PageGrid load(const std::string& address) = 0;

    // Loading ahead, for a source that can (see ReadAhead in
    // import/port/spreadsheet.h, which the engine passes on here). A source
    // that cannot ignores all of this.
    virtual std::size_t readAheadDepth() const { return 0; }
    virtual void expect(const std::vector<UpcomingPage>& /*upcoming*/) {}
    virtual void setWaitHook(std::function<void()> /*hook*/) {}
    virtual void stopReadAhead() {}

    // What the user should hear at the end of the run about how its pages were
    // read (pages built by scripts that could not be rendered, and why), a
    // line each; none by default.
    virtual std::vector<std::string> notes() const { return {}; }
};

}  // namespace qf::engine
