#include "request_settings.h"

#include <curl/curl.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "base/failure.h"
#include "base/program_info.h"
#include "base/text.h"
#include "platform/platform.h"

namespace qf::engine {

namespace {

std::int64_t now() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A cookie as a line of a Netscape cookie file, as libcurl reads and writes it.
std::string netscapeLine(const Cookie& c) {
    return std::string(c.httpOnly ? "#HttpOnly_" : "") + (c.includeSubdomains ? "." : "") + c.domain + '\t' +
           (c.includeSubdomains ? "TRUE" : "FALSE") + '\t' + c.path + '\t' + (c.secure ? "TRUE" : "FALSE") + '\t' +
           std::to_string(c.expires) + '\t' + c.name + '\t' + c.value;
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    for (std::size_t start = 0;;) {
        const std::size_t tab = line.find('\t', start);
        out.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) return out;
        start = tab + 1;
    }
}

bool flag(std::string_view text, bool& value) {
    if (sameIgnoringAsciiCase(text, "TRUE")) return value = true;
    if (sameIgnoringAsciiCase(text, "FALSE")) return !(value = false);
    return false;
}

bool wholeNumber(std::string_view text, std::int64_t& value) {
    if (text.empty() || text.size() > 18) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// The reason a line is not a cookie, or empty when it is one (then in cookie).
std::string readCookieLine(std::string_view line, Cookie& cookie) {
    cookie = Cookie{};
    constexpr std::string_view kHttpOnly = "#HttpOnly_";
    if (line.substr(0, kHttpOnly.size()) == kHttpOnly) {
        cookie.httpOnly = true;
        line.remove_prefix(kHttpOnly.size());
    }
    std::vector<std::string_view> f = fields(line);
    if (f.size() == 6) f.emplace_back();  // a cookie with an empty value
    if (f.size() != 7) return "not seven fields separated by tabs";
    std::string_view domain = f[0];
    if (!domain.empty() && domain.front() == '.') domain.remove_prefix(1);
    if (domain.empty()) return "no domain";
    cookie.domain = std::string(domain);
    if (!flag(f[1], cookie.includeSubdomains)) return "the second field is neither TRUE nor FALSE";
    if (f[2].empty() || f[2].front() != '/') return "the path does not begin with /";
    cookie.path = std::string(f[2]);
    if (!flag(f[3], cookie.secure)) return "the fourth field is neither TRUE nor FALSE";
    if (!wholeNumber(f[4], cookie.expires)) return "the expiry is not a whole number of seconds";
    if (f[5].empty()) return "the cookie has no name";
    cookie.name = std::string(f[5]);
    cookie.value = std::string(f[6]);
    for (std::string_view part : {domain, f[2], f[5], f[6]})
        for (char c : part)
            if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f' || c == ';')
                return "a field holds a control character or a semicolon";
    return {};
}

bool domainMatches(const std::string& host, const Cookie& c) {
    if (sameIgnoringAsciiCase(host, c.domain)) return true;
    return c.includeSubdomains && host.size() > c.domain.size() && host[host.size() - c.domain.size() - 1] == '.' &&
           sameIgnoringAsciiCase(std::string_view(host).substr(host.size() - c.domain.size()), c.domain);
}

bool pathMatches(const std::string& path, const std::string& cookiePath) {
    if (path.compare(0, cookiePath.size(), cookiePath) != 0) return false;
    return path.size() == cookiePath.size() || cookiePath.back() == '/' || path[cookiePath.size()] == '/';
}

// An easy handle on the store's share, for adding and listing its cookies.
struct ShareHandle {
    explicit ShareHandle(CURLSH* share) : curl(curl_easy_init()) {
        if (!curl) throw Failure("The network library could not be started.");
        curl_easy_setopt(curl, CURLOPT_SHARE, share);
    }
    ~ShareHandle() { curl_easy_cleanup(curl); }
    ShareHandle(const ShareHandle&) = delete;
    ShareHandle& operator=(const ShareHandle&) = delete;
    CURL* curl;
};

}  // namespace

struct CookieStore::Share {
    CURLSH* handle = nullptr;
    std::mutex locks[CURL_LOCK_DATA_LAST];

    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* user) {
        static_cast<Share*>(user)->locks[data].lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* user) { static_cast<Share*>(user)->locks[data].unlock(); }
};

CookieStore::CookieStore() : share_(std::make_unique<Share>()) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    share_->handle = curl_share_init();
    if (!share_->handle) throw Failure("The network library could not be started.");
    curl_share_setopt(share_->handle, CURLSHOPT_LOCKFUNC, &Share::lock);
    curl_share_setopt(share_->handle, CURLSHOPT_UNLOCKFUNC, &Share::unlock);
    curl_share_setopt(share_->handle, CURLSHOPT_USERDATA, share_.get());
    curl_share_setopt(share_->handle, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
}

CookieStore::~CookieStore() { curl_share_cleanup(share_->handle); }

void CookieStore::shareWith(void* easyHandle) const {
    curl_easy_setopt(static_cast<CURL*>(easyHandle), CURLOPT_SHARE, share_->handle);
}

void CookieStore::add(const std::vector<Cookie>& cookies) {
    ShareHandle handle(share_->handle);
    for (const Cookie& c : cookies) curl_easy_setopt(handle.curl, CURLOPT_COOKIELIST, netscapeLine(c).c_str());
}

std::vector<Cookie> CookieStore::all() const {
    ShareHandle handle(share_->handle);
    curl_slist* list = nullptr;
    curl_easy_getinfo(handle.curl, CURLINFO_COOKIELIST, &list);
    std::vector<Cookie> cookies;
    const std::int64_t time = now();
    for (const curl_slist* line = list; line; line = line->next) {
        Cookie c;
        if (readCookieLine(line->data, c).empty() && (c.expires == 0 || c.expires > time))
            cookies.push_back(std::move(c));
    }
    curl_slist_free_all(list);
    return cookies;
}

std::vector<Cookie> cookiesFor(const CookieStore& store, const std::string& address) {
    std::string scheme, host, path = "/";
    if (CURLU* url = curl_url()) {
        if (curl_url_set(url, CURLUPART_URL, address.c_str(), 0) == CURLUE_OK) {
            for (auto [part, text] : {std::pair{CURLUPART_SCHEME, &scheme}, std::pair{CURLUPART_HOST, &host},
                                      std::pair{CURLUPART_PATH, &path}}) {
                char* value = nullptr;
                if (curl_url_get(url, part, &value, 0) == CURLUE_OK) *text = value;
                curl_free(value);
            }
        }
        curl_url_cleanup(url);
    }
    std::vector<Cookie> matching;
    if (host.empty()) return matching;
    for (Cookie& c : store.all())
        if (domainMatches(host, c) && pathMatches(path, c.path) && (!c.secure || scheme == "https"))
            matching.push_back(std::move(c));
    return matching;
}

std::vector<Cookie> parseCookieFile(std::string_view text, const std::string& path) {
    std::vector<Cookie> cookies;
    std::size_t number = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (trimAny(line, " \t").empty()) continue;
        if (line.front() == '#' && line.substr(0, 10) != "#HttpOnly_") continue;
        Cookie cookie;
        const std::string why = readCookieLine(line, cookie);
        if (!why.empty())
            throw Failure("the cookie file " + path + " cannot be used: line " + std::to_string(number) + ": " + why);
        cookies.push_back(std::move(cookie));
    }
    return cookies;
}

std::vector<Cookie> readCookieFile(const std::string& path) {
    std::ifstream in(std::filesystem::path(std::u8string(path.begin(), path.end())), std::ios::binary);
    std::ostringstream text;
    if (in) text << in.rdbuf();
    if (!in || in.bad()) {
        const int error = errno;
        throw Failure("the cookie file " + path +
                      " cannot be read: " + (error ? std::strerror(error) : "unknown error"));
    }
    return parseCookieFile(text.str(), path);
}

std::vector<std::string> requestWarnings(const RequestSettings& settings) {
    std::vector<std::string> warnings;
    auto check = [&warnings](const std::string& path, const std::string& what) {
        if (platform::openToOthers(path))
            warnings.push_back(what + path + " can be read or changed by other users; it is read all the same");
    };
    if (!settings.cookieFile.empty()) check(settings.cookieFile, "the cookie file ");
    check(platform::pathInFolder(platform::homeFolder(), ".netrc"), "");
    return warnings;
}

std::string defaultUserAgent() {
    return "Mozilla/5.0 (compatible; " + std::string(kProductName) + "/" + programVersion() + ")";
}

std::string userAgentProblem(std::string_view agent) {
    if (trimAny(agent, " \t").empty()) return "the user agent is empty";
    for (char c : agent) {
        if (c == '\r' || c == '\n') return "the user agent holds a line break";
        if (isAsciiControl(c) && c != '\t') return "the user agent holds a control character";
    }
    return {};
}

std::string acceptLanguageFor(std::string_view localeTag) {
    // "de_DE.UTF-8@euro" as "de-DE"
    std::string tag(localeTag.substr(0, localeTag.find_first_of(".@")));
    for (char& c : tag)
        if (c == '_') c = '-';
    const std::string language = tag.substr(0, tag.find('-'));
    bool letters = !language.empty();
    for (char c : language) letters = letters && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'));
    if (!letters || sameIgnoringAsciiCase(language, "C") || sameIgnoringAsciiCase(language, "POSIX")) return "en";
    std::string header = tag;
    double weight = 0.9;
    auto addWeighted = [&](const std::string& range) {
        header += "," + range + ";q=" + (weight == 0.9 ? "0.9" : "0.8");
        weight -= 0.1;
    };
    if (language.size() != tag.size()) addWeighted(language);
    if (!sameIgnoringAsciiCase(language, "en")) addWeighted("en");
    return header;
}

RequestSettings browserLikeRequest(std::string_view localeTag) {
    RequestSettings request;
    request.userAgent = defaultUserAgent();
    request.accept = "text/html,application/xhtml+xml,application/xml;q=0.9,text/plain;q=0.8,*/*;q=0.7";
    request.acceptLanguage = acceptLanguageFor(localeTag);
    return request;
}

}  // namespace qf::engine
