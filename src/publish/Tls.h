#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

using SSL_CTX = struct ssl_ctx_st;

// The certificate a TLS server showed, as the owner is asked to judge it.
struct ServerCertificate {
    QString subject;
    QString issuer;
    QString validFrom;
    QString validUntil;
    // "SHA256:" and 64 hex digits in capitals, as the owner may compare it with the host's.
    QByteArray fingerprint;
};

// How a TLS server's certificate is judged: verified against the system's certificate
// authorities and the host name, or, where the owner trusts a fingerprint for this server, by
// that fingerprint alone. One that cannot be verified, or that differs from the one trusted, ends
// the handshake, so the password never goes out. Applied to every TLS context of one upload.
class TlsTrust final {
public:
    enum class Verdict {
        None,     // no certificate seen yet
        Verified, // the authorities and the host name vouch for it
        Trusted,  // the fingerprint the owner trusts
        Unknown,  // cannot be verified and no fingerprint is trusted: refused
        Changed,  // another fingerprint than the one trusted: refused
    };

    TlsTrust(QByteArray hostName, QByteArray trustedFingerprint);

    // Sets the checks on a context (ours, or the one libcurl makes for each connection).
    void applyTo(SSL_CTX* context);

    Verdict verdict() const { return m_verdict; }
    // The server's own certificate as last seen; why the authorities do not vouch for it.
    const ServerCertificate& certificate() const { return m_certificate; }
    const QString& verifyError() const { return m_verifyError; }
    // Whether the handshake that failed was ended by these checks.
    bool refused() const { return m_verdict == Verdict::Unknown || m_verdict == Verdict::Changed; }

    // A refusal as one line of the progress list; empty when nothing was refused.
    QString refusalText() const;

    // A client context with the system's authorities and sound defaults.
    static SSL_CTX* newClientContext();

private:
    static int onVerify(int preverified, struct x509_store_ctx_st* store);

    QByteArray m_hostName;
    QByteArray m_trusted;
    Verdict m_verdict = Verdict::None;
    ServerCertificate m_certificate;
    QString m_verifyError;
};

// Whether a host is written as an IPv4 or IPv6 address (no server name to send or check).
bool isIpAddress(const QByteArray& host);

struct SslContextFree {
    void operator()(SSL_CTX* context) const;
};
using SslContext = std::unique_ptr<SSL_CTX, SslContextFree>;
