#pragma once
// Downloads one web page over HTTP(S), within the limits of FetchLimits.

#include <memory>
#include <string>

#include "web_page_source.h"

namespace qf::engine {

enum class PageKind { Html, Text };

struct FetchedPage {
    PageKind kind = PageKind::Html;
    std::string contentType;  // as the server sent it; may be empty
    std::string body;         // after content decoding
};

// The description of a page that could not be read: "Unable to open <address>.
// Cannot download the information you requested. (<reason>)".
std::string unableToOpen(const std::string& address, const std::string& reason);

// Keeps one connection cache, so that pages from the same host reuse their
// connection. Not for use from two threads at once.
class Fetcher {
public:
    explicit Fetcher(const FetchLimits& limits);
    ~Fetcher();
    Fetcher(const Fetcher&) = delete;
    Fetcher& operator=(const Fetcher&) = delete;

    // Fetches the address; http and https only, for the address and for every
    // redirect. Fails (qf::Failure, worded by unableToOpen) when the name does
    // not resolve, the connection fails or breaks, a limit is hit, the final
    // status is not 2xx, or the content type is neither HTML/XHTML nor text.
    FetchedPage fetch(const std::string& address, bool followRedirects);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qf::engine
