#pragma once
// Where a web query's refresh gets its cells: the connection is fetched and
// laid out into a grid. The engine's own source fetches over HTTP(S); tests
// script one.

#include <cstdint>
#include <memory>
#include <string>

#include "cell.h"

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
};

class PageSource {
public:
    virtual ~PageSource() = default;
    // Loads the page a connection text ("URL;http://...") names. Fails (qf::Failure)
    // with a description when the page cannot be read.
    virtual PageGrid load(const std::string& connection, const WebQueryOptions& options) = 0;
};

}  // namespace qf::engine
