// Secure pages: a server on loopback whose certificate nobody vouches for must
// not be read, and no setting of a query changes that.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "base/failure.h"
#include "engine/web/web_page_source.h"

namespace qf::engine {
namespace {

// Serves one fixed page over TLS with a freshly made self-signed certificate
// for 127.0.0.1, so that the certificate's trust is the only thing wrong.
class SelfSignedServer {
public:
    SelfSignedServer() {
        key_ = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
        cert_ = X509_new();
        X509_set_version(cert_, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert_), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert_), -60);
        X509_gmtime_adj(X509_getm_notAfter(cert_), 3600);
        X509_set_pubkey(cert_, key_);
        X509_NAME* name = X509_get_subject_name(cert_);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1,
                                   -1, 0);
        X509_set_issuer_name(cert_, name);
        X509V3_CTX v3;
        X509V3_set_ctx_nodb(&v3);
        X509V3_set_ctx(&v3, cert_, cert_, nullptr, nullptr, 0);
        X509_EXTENSION* san = X509V3_EXT_conf_nid(nullptr, &v3, NID_subject_alt_name, "IP:127.0.0.1");
        X509_add_ext(cert_, san, -1);
        X509_EXTENSION_free(san);
        X509_sign(cert_, key_, EVP_sha256());

        ctx_ = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate(ctx_, cert_);
        SSL_CTX_use_PrivateKey(ctx_, key_);

        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(listener_, 8);
        socklen_t len = sizeof addr;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~SelfSignedServer() {
        stopping_ = true;
        thread_.join();
        close(listener_);
        SSL_CTX_free(ctx_);
        X509_free(cert_);
        EVP_PKEY_free(key_);
    }
    std::string url() const { return "https://127.0.0.1:" + std::to_string(port_) + "/"; }
    int handshakes() const { return handshakes_; }

private:
    void serve() {
        while (!stopping_) {
            pollfd p{listener_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            int fd = accept(listener_, nullptr, nullptr);
            if (fd < 0) continue;
            SSL* ssl = SSL_new(ctx_);
            SSL_set_fd(ssl, fd);
            if (SSL_accept(ssl) > 0) {
                ++handshakes_;
                char buffer[4096];
                SSL_read(ssl, buffer, sizeof buffer);
                const std::string reply =
                    "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 9\r\nConnection: "
                    "close\r\n\r\n<p>in</p>";
                SSL_write(ssl, reply.data(), static_cast<int>(reply.size()));
                SSL_shutdown(ssl);
            }
            ERR_clear_error();
            SSL_free(ssl);
            close(fd);
        }
    }

    EVP_PKEY* key_ = nullptr;
    X509* cert_ = nullptr;
    SSL_CTX* ctx_ = nullptr;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> handshakes_{0};
    std::thread thread_;
};

TEST(WebTls, AnUntrustedCertificateIsRefusedWhateverTheQuerySays) {
    SelfSignedServer server;
    WebQueryOptions lenient;
    lenient.disableRedirections = true;
    lenient.disableDateRecognition = true;
    for (const WebQueryOptions& options : {WebQueryOptions{}, lenient}) {
        try {
            makeWebPageSource({}, {}, options)->load(server.url());
            FAIL() << "a page behind an untrusted certificate was read";
        } catch (const Failure& f) {
            EXPECT_EQ(std::string(f.what()), "Unable to open " + server.url() +
                                                 ". Cannot download the information you requested. "
                                                 "(the server's certificate is not trusted)");
        }
    }
    EXPECT_EQ(server.handshakes(), 0);
}

}  // namespace
}  // namespace qf::engine
