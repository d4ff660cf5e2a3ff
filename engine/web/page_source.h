#pragma once
// Where a web query's refresh gets its cells: the connection is fetched and
// laid out into a grid. The engine's own source fetches over HTTP(S); tests
// script one.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/workbook/cell.h"
#include "automation/object.h"

namespace qf::engine {

// The query table settings that mean something to a web page source.
struct WebQueryOptions {
    std::int32_t webSelectionType = 1;      // 1: entire page
    std::int32_t webFormatting = 3;         // 3: none
    bool preFormattedTextToColumns = true;  // <pre> lines split into columns
    bool consecutiveDelimitersAsOne = true;
    bool singleBlockTextImport = false;
    bool disableDateRecognition = false;
    bool disableRedirections = false;
    bool operator==(const WebQueryOptions&) const = default;
};

class PageSource {
public:
    virtual ~PageSource() = default;
    // Loads the page a connection text ("URL;http://...") names. Fails (qf::Failure)
    // with a description when the page cannot be read.
    virtual PageGrid load(const std::string& connection, const WebQueryOptions& options) = 0;

    // Loading ahead, for a source that can (see automation::ReadAhead). Pages
    // loaded ahead are laid out with the default WebQueryOptions; a refresh with
    // other options loads afresh. A source that cannot ignores all of this.
    virtual std::size_t readAheadDepth() const { return 0; }
    virtual void expect(const std::vector<automation::UpcomingQuery>& /*upcoming*/) {}
    virtual void setWaitHook(std::function<void()> /*hook*/) {}
    virtual void stopReadAhead() {}
};

}  // namespace qf::engine
