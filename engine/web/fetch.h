#pragma once
// Downloads web pages over HTTP(S), within the limits of FetchLimits: one
// transfer's set-up and verdict.

#include <memory>
#include <optional>
#include <string>

#include "fetched_page.h"
#include "request_settings.h"
#include "web_limits.h"

namespace qf::engine {

// One page's transfer on a libcurl easy handle of its own: the options every
// request gets, the checks made as the reply comes in, and the verdict. Driven
// by a multi handle (PageLoader) or by curl_easy_perform. Used by one
// thread at a time. The request settings are the run's: its headers, its
// cookie store (without one, no cookies are kept), credentials from .netrc.
class Transfer {
public:
    explicit Transfer(const FetchLimits& limits, std::shared_ptr<const RequestSettings> request = {});
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    // Checks the address and sets the handle up for it; http and https only,
    // for the address and for every redirect. Fails (qf::Failure, worded by
    // unableToOpen) for an address that cannot be requested. The handle keeps
    // its connection and name caches between pages.
    void prepare(const std::string& address, bool followRedirects);
    // libcurl's easy handle (CURL*) of the transfer, for a multi handle to drive.
    void* handle() const;

    // The page once libcurl has finished with the result code (a CURLcode). Fails when the
    // name does not resolve, the connection fails or breaks, a limit is hit,
    // the final status is not 2xx, or the content type is neither HTML/XHTML
    // nor text.
    FetchedPage finish(int rc);

    // After the transfer: the final HTTP status (0 without a reply) and the
    // server's Retry-After in seconds when it sent one.
    long status() const;
    std::optional<long> retryAfterSeconds() const;

private:
    struct State;
    std::unique_ptr<State> state_;
    std::string address_;
    std::shared_ptr<const RequestSettings> request_;
};

}  // namespace qf::engine
