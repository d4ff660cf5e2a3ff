#include "host_name.h"

#include <curl/curl.h>

#include <algorithm>
#include <string_view>

#include "base/text.h"

#ifdef QUILLFEN_HAVE_IDN2
#include <idn2.h>
#endif

namespace qf::engine {

namespace {

#ifdef QUILLFEN_HAVE_IDN2
// The ASCII form of a UTF-8 host name, or empty. UTF-8 is given to the library
// as such: the forms that read the locale's character set would fail in a
// program that runs in the C locale, as the command line does.
std::string idnaName(const std::string& host) {
    for (const int flags : {IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL, static_cast<int>(IDN2_TRANSITIONAL)}) {
        char* ascii = nullptr;
        if (idn2_to_ascii_8z(host.c_str(), &ascii, flags) == IDN2_OK && ascii) {
            std::string out(ascii);
            idn2_free(ascii);
            return out;
        }
        idn2_free(ascii);
    }
    return {};
}
#else
std::string idnaName(const std::string&) { return {}; }
#endif

}  // namespace

std::string hostOf(const std::string& address) {
    std::string host;
    if (CURLU* url = curl_url()) {
        char* part = nullptr;
        if (curl_url_set(url, CURLUPART_URL, address.c_str(), 0) == CURLUE_OK &&
            curl_url_get(url, CURLUPART_HOST, &part, 0) == CURLUE_OK) {
            host = part;
            curl_free(part);
        }
        curl_url_cleanup(url);
    }
    std::transform(host.begin(), host.end(), host.begin(), asciiLower);
    return host;
}

std::string asciiHostAddress(const std::string& address) {
    const std::string_view text(address);
    const std::size_t schemeEnd = text.find("://");
    if (schemeEnd == std::string_view::npos) return address;
    const std::size_t start = schemeEnd + 3;
    const std::size_t authorityEnd = std::min(text.find_first_of("/?#", start), text.size());
    const std::size_t at = text.substr(start, authorityEnd - start).rfind('@');
    const std::size_t hostStart = at == std::string_view::npos ? start : start + at + 1;
    if (hostStart < text.size() && text[hostStart] == '[') return address;  // an IPv6 address
    const std::size_t hostEnd = std::min(text.find(':', hostStart), authorityEnd);
    const std::string_view host = text.substr(hostStart, hostEnd - hostStart);
    if (std::all_of(host.begin(), host.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return address;
    const std::string ascii = idnaName(std::string(host));
    if (ascii.empty()) return address;
    return address.substr(0, hostStart) + ascii + address.substr(hostEnd);
}

}  // namespace qf::engine
