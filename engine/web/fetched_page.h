#pragma once
// A page as the network gave it, before it is decoded and laid out, and the
// words for one that could not be read.

#include <string>

namespace qf::engine {

enum class PageKind { Html, Text };

struct FetchedPage {
    PageKind kind = PageKind::Html;
    std::string contentType;      // as the server sent it; may be empty
    std::string contentLanguage;  // the Content-Language header; may be empty
    std::string address;          // where it came from, after redirects
    std::string body;             // after content decoding
};

// The description of a page that could not be read: "Unable to open <address>.
// Cannot download the information you requested. (<reason>)".
std::string unableToOpen(const std::string& address, const std::string& reason);

}  // namespace qf::engine
