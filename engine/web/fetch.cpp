#include "fetch.h"

#include <curl/curl.h>

#include <algorithm>

#include "base/failure.h"
#include "base/text.h"
#include "platform/platform.h"

namespace qf::engine {

namespace {

// The media type without parameters and surrounding spaces.
std::string_view mediaType(std::string_view contentType) {
    return trimAny(contentType.substr(0, contentType.find(';')), " ");
}

// Whether a content type can be laid out, and how. A missing type is read as HTML.
bool acceptedKind(std::string_view contentType, PageKind& kind) {
    std::string_view type = mediaType(contentType);
    if (type.empty() || startsWithIgnoringAsciiCase(type, "text/html") ||
        startsWithIgnoringAsciiCase(type, "application/xhtml+xml")) {
        kind = PageKind::Html;
        return true;
    }
    if (startsWithIgnoringAsciiCase(type, "text/")) {
        kind = PageKind::Text;
        return true;
    }
    return false;
}

void curlGlobalInit() {
    static const bool done = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        return true;
    }();
    (void)done;
}

}  // namespace

std::string unableToOpen(const std::string& address, const std::string& reason) {
    return "Unable to open " + address + ". Cannot download the information you requested. (" + reason + ")";
}

struct Transfer::State {
    FetchLimits limits;
    CURL* curl = nullptr;           // owned by the Transfer
    curl_slist* headers = nullptr;  // the request's own headers, owned too

    // State of the transfer under way.
    std::string body;
    std::string contentType;
    PageKind kind = PageKind::Html;
    bool checked = false;
    std::string stopReason;  // set when the write callback stopped the transfer
    char errors[CURL_ERROR_SIZE] = {};

    // Looks at the response once its headers are in, so that an error page or
    // a binary download is dropped before its body is read.
    bool checkResponse() {
        checked = true;
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        if (status < 200 || status > 299) {
            stopReason = "HTTP " + std::to_string(status);
            return false;
        }
        const char* type = nullptr;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type);
        contentType = type ? type : "";
        if (!acceptedKind(contentType, kind)) {
            stopReason = "unsupported content type " + std::string(mediaType(contentType));
            return false;
        }
        curl_off_t length = -1;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        if (length > 0) body.reserve(std::min<std::size_t>(static_cast<std::size_t>(length), limits.maxBodyBytes));
        return true;
    }

    static std::size_t onData(char* data, std::size_t size, std::size_t count, void* user) {
        auto* self = static_cast<State*>(user);
        const std::size_t n = size * count;
        if (!self->checked && !self->checkResponse()) return 0;
        if (n > self->limits.maxBodyBytes - self->body.size()) {
            self->stopReason = "the page is larger than " + sizeText(self->limits.maxBodyBytes);
            return 0;
        }
        self->body.append(data, n);
        return n;
    }

    static std::string sizeText(std::size_t bytes) {
        if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
        if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KiB";
        return std::to_string(bytes) + " bytes";
    }

    std::string reasonFor(CURLcode rc) const {
        switch (rc) {
            case CURLE_UNSUPPORTED_PROTOCOL:
                if (std::string_view(errors).find("HTTP/0.9") != std::string_view::npos)
                    return "the server's reply is not valid HTTP";
                return "only http and https addresses can be opened";
            case CURLE_URL_MALFORMAT: return "the address is not valid";
            case CURLE_COULDNT_RESOLVE_HOST:
            case CURLE_COULDNT_RESOLVE_PROXY: return "the server name could not be found";
            case CURLE_COULDNT_CONNECT: return "could not connect to the server";
            case CURLE_OPERATION_TIMEDOUT:
                return std::string_view(errors).find("too slow") != std::string_view::npos ? "too slow, timed out"
                                                                                           : "timed out";
            case CURLE_TOO_MANY_REDIRECTS: return "too many redirects";
            case CURLE_FILESIZE_EXCEEDED: return "the page is larger than " + sizeText(limits.maxBodyBytes);
            case CURLE_GOT_NOTHING: return "the server sent no reply";
            case CURLE_RECV_ERROR:
            case CURLE_SEND_ERROR: return "the connection failed during the transfer";
            case CURLE_PARTIAL_FILE: return "the connection closed before the page was complete";
            case CURLE_BAD_CONTENT_ENCODING: return "the page's compressed data is damaged";
            case CURLE_PEER_FAILED_VERIFICATION: return "the server's certificate is not trusted";
            case CURLE_SSL_CONNECT_ERROR: return "a secure connection could not be made";
            case CURLE_WEIRD_SERVER_REPLY: return "the server's reply is not valid HTTP";
            default: return errors[0] ? std::string(errors) : std::string(curl_easy_strerror(rc));
        }
    }
};

Transfer::Transfer(const FetchLimits& limits, std::shared_ptr<const RequestSettings> request)
    : state_(std::make_unique<State>()), request_(std::move(request)) {
    curlGlobalInit();
    state_->limits = limits;
    state_->curl = curl_easy_init();
    if (!request_) request_ = std::make_shared<const RequestSettings>(browserLikeRequest(""));
    curl_slist*& headers = state_->headers;
    if (!request_->accept.empty()) headers = curl_slist_append(headers, ("Accept: " + request_->accept).c_str());
    if (!request_->acceptLanguage.empty())
        headers = curl_slist_append(headers, ("Accept-Language: " + request_->acceptLanguage).c_str());
}

Transfer::~Transfer() {
    if (state_->curl) curl_easy_cleanup(state_->curl);
    curl_slist_free_all(state_->headers);
}

void* Transfer::handle() const { return state_->curl; }

void Transfer::prepare(const std::string& address, bool followRedirects) {
    State& m = *state_;
    address_ = address;
    if (!m.curl) throw Failure(unableToOpen(address, "the network library could not be started"));
    if (address.empty()) throw Failure(unableToOpen(address, "no address"));
    if (std::any_of(address.begin(), address.end(),
                    [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == '\x7f'; }))
        throw Failure(unableToOpen(address, "the address contains spaces or control characters"));

    CURL* c = m.curl;
    curl_easy_reset(c);  // keeps the connection and name caches
    m.body.clear();
    m.body.shrink_to_fit();
    m.contentType.clear();
    m.kind = PageKind::Html;
    m.checked = false;
    m.stopReason.clear();
    m.errors[0] = '\0';

    const FetchLimits& l = m.limits;
    curl_easy_setopt(c, CURLOPT_URL, address.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, followRedirects ? 1L : 0L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, l.maxRedirects);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    // Where the TLS library asks whether a certificate was revoked (Windows' own),
    // a server of revocation lists that cannot be reached is no reason to refuse
    // the page: other TLS libraries do not ask at all.
    curl_easy_setopt(c, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, l.connectTimeoutMs);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, l.totalTimeoutMs);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, l.lowSpeedBytesPerSecond);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, l.lowSpeedTimeSeconds);
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(l.maxBodyBytes));
    // What a browser would send; an empty Accept-Encoding offers every encoding libcurl decodes.
    const RequestSettings& r = *request_;
    curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, r.acceptEncoding.c_str());
    curl_easy_setopt(c, CURLOPT_USERAGENT, (r.userAgent.empty() ? defaultUserAgent() : r.userAgent).c_str());
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, m.headers);
    if (r.cookies) {
        r.cookies->shareWith(c);
        curl_easy_setopt(c, CURLOPT_COOKIEFILE, "");  // the cookie engine on, no file read
    }
    // The proxy of the user's system settings where the environment names none
    // (libcurl reads the environment's variables itself).
    if (const std::optional<std::string> proxy = platform::systemProxyFor(address); proxy && !proxy->empty())
        curl_easy_setopt(c, CURLOPT_PROXY, proxy->c_str());
    // Credentials for the hosts .netrc names, for them alone (libcurl sends no
    // credentials across a redirect to another host).
    curl_easy_setopt(c, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_OPTIONAL));
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, m.errors);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &State::onData);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &m);
}

FetchedPage Transfer::finish(int result) {
    State& m = *state_;
    auto rc = static_cast<CURLcode>(result);
    curl_easy_setopt(m.curl, CURLOPT_ERRORBUFFER, nullptr);
    if (rc == CURLE_OK && !m.checked && !m.checkResponse()) rc = CURLE_WRITE_ERROR;  // a reply without a body
    if (rc != CURLE_OK) {
        std::string reason = !m.stopReason.empty() ? m.stopReason : m.reasonFor(rc);
        m.body.clear();
        m.body.shrink_to_fit();
        throw Failure(unableToOpen(address_, reason));
    }
    FetchedPage page;
    page.kind = m.kind;
    page.contentType = std::move(m.contentType);
    curl_header* language = nullptr;
    if (curl_easy_header(m.curl, "Content-Language", 0, CURLH_HEADER, -1, &language) == CURLHE_OK && language)
        page.contentLanguage = language->value;
    char* effective = nullptr;
    if (curl_easy_getinfo(m.curl, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
        page.address = effective;
    page.body = std::move(m.body);
    return page;
}

long Transfer::status() const {
    long code = 0;
    if (state_->curl) curl_easy_getinfo(state_->curl, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

std::optional<long> Transfer::retryAfterSeconds() const {
    curl_header* header = nullptr;
    if (!state_->curl || curl_easy_header(state_->curl, "Retry-After", 0, CURLH_HEADER, -1, &header) != CURLHE_OK)
        return std::nullopt;
    curl_off_t seconds = 0;
    if (curl_easy_getinfo(state_->curl, CURLINFO_RETRY_AFTER, &seconds) != CURLE_OK || seconds < 0) return std::nullopt;
    return static_cast<long>(seconds);
}

}  // namespace qf::engine
