#include "publish/Tls.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <mutex>

namespace {

int trustIndex() {
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

QString nameText(const X509_NAME* name) {
    BIO* bio = BIO_new(BIO_s_mem());
    if (bio == nullptr)
        return {};
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    QString text = QString::fromUtf8(data, qsizetype(size));
    BIO_free(bio);
    return text;
}

QString timeText(const ASN1_TIME* time) {
    BIO* bio = BIO_new(BIO_s_mem());
    if (bio == nullptr)
        return {};
    ASN1_TIME_print(bio, time);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    QString text = QString::fromLatin1(data, qsizetype(size));
    BIO_free(bio);
    return text;
}

QByteArray fingerprintOf(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &length) != 1)
        return {};
    return "SHA256:" + QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex().toUpper();
}

} // namespace

bool isIpAddress(const QByteArray& host) {
    ASN1_OCTET_STRING* address = a2i_IPADDRESS(host.constData());
    if (address == nullptr)
        return false;
    ASN1_OCTET_STRING_free(address);
    return true;
}

void SslContextFree::operator()(SSL_CTX* context) const {
    SSL_CTX_free(context);
}

TlsTrust::TlsTrust(QByteArray hostName, QByteArray trustedFingerprint)
    : m_hostName(std::move(hostName)), m_trusted(std::move(trustedFingerprint)) {}

SSL_CTX* TlsTrust::newClientContext() {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (context == nullptr)
        return nullptr;
    // TLS 1.2 only, as for the main connection: under TLS 1.3 the session a data connection must
    // resume comes in a ticket after the handshake, which servers that insist on the reuse
    // (vsftpd by default) then refuse now and again.
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(context, TLS1_2_VERSION);
    // A server that drops the connection without TLS's goodbye still ends it; the FTP reply
    // says whether what came was whole.
    SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    return context;
}

void TlsTrust::applyTo(SSL_CTX* context) {
    SSL_CTX_set_default_verify_paths(context);
    X509_VERIFY_PARAM* param = SSL_CTX_get0_param(context);
    if (isIpAddress(m_hostName))
        X509_VERIFY_PARAM_set1_ip_asc(param, m_hostName.constData());
    else
        X509_VERIFY_PARAM_set1_host(param, m_hostName.constData(), std::size_t(m_hostName.size()));
    SSL_CTX_set_ex_data(context, trustIndex(), this);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, &TlsTrust::onVerify);
}

int TlsTrust::onVerify(int preverified, x509_store_ctx_st* store) {
    SSL* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* self =
        ssl != nullptr ? static_cast<TlsTrust*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), trustIndex())) : nullptr;
    if (self == nullptr)
        return 0;
    // Connections of one upload may be checked from two threads (the main one's libcurl and
    // the pool's loop).
    static std::mutex guard;
    const std::lock_guard lock(guard);

    X509* leaf = X509_STORE_CTX_get0_cert(store);
    if (leaf != nullptr) {
        ServerCertificate& seen = self->m_certificate;
        seen.fingerprint = fingerprintOf(leaf);
        seen.subject = nameText(X509_get_subject_name(leaf));
        seen.issuer = nameText(X509_get_issuer_name(leaf));
        seen.validFrom = timeText(X509_get0_notBefore(leaf));
        seen.validUntil = timeText(X509_get0_notAfter(leaf));
    }
    if (!self->m_trusted.isEmpty()) {
        // The owner trusts this exact certificate, whoever signed it.
        const bool same =
            !self->m_certificate.fingerprint.isEmpty() && self->m_certificate.fingerprint == self->m_trusted;
        self->m_verdict = same ? Verdict::Trusted : Verdict::Changed;
        return same ? 1 : 0;
    }
    if (!preverified) {
        self->m_verifyError = QString::fromLatin1(X509_verify_cert_error_string(X509_STORE_CTX_get_error(store)));
        self->m_verdict = Verdict::Unknown;
        return 0;
    }
    if (X509_STORE_CTX_get_error_depth(store) == 0)
        self->m_verdict = Verdict::Verified;
    return 1;
}

QString TlsTrust::refusalText() const {
    if (m_verdict == Verdict::Changed)
        return QStringLiteral("WARNING: the server's certificate has changed since you trusted it (now ") +
               QString::fromLatin1(m_certificate.fingerprint) +
               QStringLiteral("). Someone may be listening in between; nothing was sent. Ask your web host "
                              "whether they changed it.");
    if (m_verdict == Verdict::Unknown)
        return QStringLiteral("The server's certificate cannot be verified (") + m_verifyError + QStringLiteral("): ") +
               QString::fromLatin1(m_certificate.fingerprint);
    return {};
}
