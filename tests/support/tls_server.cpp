#include "tls_server.h"

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

namespace tavolen::test {

TlsServer::TlsServer() {
    EVP_PKEY* key = EVP_RSA_gen(2048);
    X509* cert = X509_new();
    if (key && cert) {
        X509_set_version(cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert), -60);
        X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
        X509_set_pubkey(cert, key);
        X509_NAME* name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
        X509_set_issuer_name(cert, name);
        if (X509_sign(cert, key, EVP_sha256()) > 0) {
            server_ = std::make_unique<httplib::SSLServer>(cert, key);
            server_->set_tcp_nodelay(true);
        }
    }
    // The server keeps its own references.
    X509_free(cert);
    EVP_PKEY_free(key);
}

TlsServer::~TlsServer() {
    if (thread_.joinable()) {
        server_->stop();
        thread_.join();
    }
}

bool TlsServer::start() {
    if (!server_ || !server_->is_valid()) return false;
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) return false;
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running()) std::this_thread::yield();
    return true;
}

std::string TlsServer::url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port_) + path;
}

}  // namespace tavolen::test
