#pragma once
// How a run's requests present themselves to the sites they ask: the headers a
// browser sends, the cookies the run keeps, and the cookie file read at its
// start. One RequestSettings is fixed for a whole run; its cookie store is the
// run's, shared by every request of it (every connection and thread).
//
//     RequestSettings request = browserLikeRequest("de-DE");
//     request.cookies = std::make_shared<CookieStore>();
//     request.cookies->add(readCookieFile("/home/me/cookies.txt"));
//     for (const Cookie& c : cookiesFor(*request.cookies, "https://example.org/a")) ...

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qf::engine {

// One cookie as the store keeps it (the fields of a Netscape cookie file).
struct Cookie {
    std::string name;
    std::string value;
    std::string domain;  // without a leading dot
    std::string path = "/";
    bool includeSubdomains = false;  // a Domain cookie: sent to the domain's subdomains too
    bool secure = false;             // sent over https only
    bool httpOnly = false;
    std::int64_t expires = 0;  // seconds since 1970; 0: ends with the run
    bool operator==(const Cookie&) const = default;
};

// The cookies of one run, in libcurl's cookie store shared (with its locks) by
// every transfer that is given to shareWith. Nothing is written to disk; the
// cookies are gone with the store. Any thread.
class CookieStore {
public:
    CookieStore();
    ~CookieStore();
    CookieStore(const CookieStore&) = delete;
    CookieStore& operator=(const CookieStore&) = delete;

    void add(const std::vector<Cookie>& cookies);
    // Every cookie held, expired ones left out.
    std::vector<Cookie> all() const;
    // Has a transfer keep its cookies in this store: easyHandle is the
    // transfer's libcurl easy handle (CURL*), which must end before the store.
    void shareWith(void* easyHandle) const;

private:
    struct Share;  // libcurl's share handle and its locks
    std::unique_ptr<Share> share_;
};

// The cookies the store would send to an address (domain, path, Secure and
// expiry as the cookie rules have them), for handing to another client.
std::vector<Cookie> cookiesFor(const CookieStore& store, const std::string& address);

// Reads a cookie file in the Netscape format (curl's and wget's, and what
// browsers' export add-ons write). Fails (qf::Failure) for a file that cannot
// be read or a line that is not a cookie, naming the file and the line.
std::vector<Cookie> readCookieFile(const std::string& path);
std::vector<Cookie> parseCookieFile(std::string_view text, const std::string& path);

struct RequestSettings {
    std::string userAgent;                 // the User-Agent header
    std::string accept;                    // the Accept header
    std::string acceptLanguage;            // the Accept-Language header; empty: none sent
    std::string acceptEncoding;            // for libcurl: empty, every encoding it decodes
    std::string cookieFile;                // a Netscape cookie file read at the start of the run; empty: none
    std::shared_ptr<CookieStore> cookies;  // the run's; none: the page source makes one
};

// Warnings about the files the requests read: a cookie file or ~/.netrc that
// other users may read or change. Both are read all the same.
std::vector<std::string> requestWarnings(const RequestSettings& settings);

// The User-Agent sent unless another is asked for: "Mozilla/5.0 (compatible; Quillfen/1.0.0)".
std::string defaultUserAgent();

// Why a User-Agent given by the user cannot be sent (empty, a line break or
// another control character); empty when it can.
std::string userAgentProblem(std::string_view agent);

// "de-DE,de;q=0.9,en;q=0.8" for "de-DE" (or "de_DE.UTF-8"); English alone for
// an empty or English tag.
std::string acceptLanguageFor(std::string_view localeTag);

// The headers a browser sends, with the language of the locale tag.
RequestSettings browserLikeRequest(std::string_view localeTag);

}  // namespace qf::engine
