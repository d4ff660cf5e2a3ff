#include <cctype>

#include "platform.h"

namespace qf::platform {

namespace {

bool sameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// A pattern of the bypass list against a host, '*' standing for any run of
// characters, letters in any case.
bool wildcardMatch(std::string_view pattern, std::string_view text) {
    std::size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && sameLetters(pattern.substr(p, 1), text.substr(t, 1))) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// The entries of a list separated by ';' or blanks.
template <typename Each>
void forEachEntry(std::string_view list, Each each) {
    std::size_t start = 0;
    while (start < list.size()) {
        const std::size_t end = list.find_first_of("; \t\r\n", start);
        const std::string_view entry =
            list.substr(start, end == std::string_view::npos ? list.size() - start : end - start);
        if (!entry.empty() && each(entry)) return;
        if (end == std::string_view::npos) return;
        start = end + 1;
    }
}

}  // namespace

std::string proxyFromList(std::string_view list, std::string_view scheme) {
    std::string forScheme, plain;
    forEachEntry(list, [&](std::string_view entry) {
        const std::size_t equals = entry.find('=');
        if (equals == std::string_view::npos) {
            if (plain.empty()) plain = std::string(entry);
        } else if (forScheme.empty() && sameLetters(entry.substr(0, equals), scheme)) {
            forScheme = std::string(entry.substr(equals + 1));
        }
        return false;
    });
    std::string proxy = forScheme.empty() ? plain : forScheme;
    if (!proxy.empty() && proxy.find("://") == std::string::npos) proxy = "http://" + proxy;
    return proxy;
}

bool bypassesProxy(std::string_view list, std::string_view host) {
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    bool bypass = false;
    forEachEntry(list, [&](std::string_view entry) {
        if (const std::size_t scheme = entry.find("://"); scheme != std::string_view::npos)
            entry = entry.substr(scheme + 3);
        if (sameLetters(entry, "<local>"))
            bypass = host.find('.') == std::string_view::npos && host.find(':') == std::string_view::npos;
        else
            bypass = wildcardMatch(entry, host);
        return bypass;
    });
    return bypass;
}

}  // namespace qf::platform
