// A real HTTP server on 127.0.0.1 for tests and benchmarks: plain, or TLS with a
// self-signed certificate for 127.0.0.1 made on the spot.
#pragma once
#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/sha.h>
#include <openssl/x509v3.h>
// httplib pulls in the resolver's old DELETE macro, which would rename HttpRequest::Type::DELETE.
#undef DELETE

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

namespace kite {
namespace test {

class LoopbackHttpServer {
public:
    enum class Security { Plain, Tls };

    // Routes go on server() before start(). For TLS, certificateFolder receives "server.pem".
    explicit LoopbackHttpServer(Security security = Security::Plain, const std::string& certificateFolder = "") {
        if (security == Security::Plain) {
            server_ = std::make_unique<httplib::Server>();
        } else {
            makeCertificate(certificateFolder);
        }
        if (server_) server_->set_tcp_nodelay(true);
    }
    ~LoopbackHttpServer() {
        if (server_) server_->stop();
        if (thread_.joinable()) thread_.join();
    }
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    httplib::Server& server() { return *server_; }

    // Binds a free port; connections wait in the backlog until the serving thread takes them.
    bool start() {
        if (!server_ || !server_->is_valid()) return false;
        port_ = server_->bind_to_any_port("127.0.0.1");
        if (port_ <= 0) return false;
        thread_ = std::thread([this] { server_->listen_after_bind(); });
        // A stop before the loop runs would be missed and leave it running for ever.
        for (int i = 0; i < 5000 && !server_->is_running(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return server_->is_running();
    }

    int port() const { return port_; }
    std::string url(const std::string& path) const {
        return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
    }
    // TLS only: the certificate as a PEM file, and its public key as a pin ("sha256//<base64>").
    const std::string& certificateFile() const { return certificateFile_; }
    const std::string& publicKeyPin() const { return publicKeyPin_; }

private:
    struct KeyDeleter {
        void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    };
    struct CertificateDeleter {
        void operator()(X509* certificate) const { X509_free(certificate); }
    };

    void makeCertificate(const std::string& folder) {
        tls_ = true;
        std::unique_ptr<EVP_PKEY, KeyDeleter> key(EVP_EC_gen("P-256"));
        std::unique_ptr<X509, CertificateDeleter> certificate(X509_new());
        if (!key || !certificate) return;
        X509* cert = certificate.get();
        X509_set_version(cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
        X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
        X509_set_pubkey(cert, key.get());
        X509_NAME* name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1,
                                   -1, 0);
        X509_set_issuer_name(cert, name);
        X509V3_CTX context;
        X509V3_set_ctx_nodb(&context);
        X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
        if (X509_EXTENSION* names = X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "IP:127.0.0.1")) {
            X509_add_ext(cert, names, -1);
            X509_EXTENSION_free(names);
        }
        if (!X509_sign(cert, key.get(), EVP_sha256())) return;
        certificateFile_ = folder + "/server.pem";
        if (FILE* file = std::fopen(certificateFile_.c_str(), "w")) {
            PEM_write_X509(file, cert);
            std::fclose(file);
        }
        publicKeyPin_ = pinOf(key.get());
        server_ = std::make_unique<httplib::SSLServer>(cert, key.get());
    }

    static std::string pinOf(EVP_PKEY* key) {
        unsigned char* der = nullptr;
        const int size = i2d_PUBKEY(key, &der);
        if (size <= 0) return {};
        unsigned char digest[SHA256_DIGEST_LENGTH];
        SHA256(der, static_cast<std::size_t>(size), digest);
        OPENSSL_free(der);
        unsigned char encoded[64] = {};
        EVP_EncodeBlock(encoded, digest, SHA256_DIGEST_LENGTH);
        return "sha256//" + std::string(reinterpret_cast<char*>(encoded));
    }

    bool tls_ = false;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = -1;
    std::string certificateFile_;
    std::string publicKeyPin_;
};

}  // namespace test
}  // namespace kite
