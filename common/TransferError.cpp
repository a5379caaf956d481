#include "common/TransferError.h"

#include <QDebug>

namespace {

const char *kindName(TransferError::Kind kind)
{
    using Kind = TransferError::Kind;
    switch (kind) {
    case Kind::ConnectionRefused:
        return "connection refused";
    case Kind::HostNotFound:
        return "host not found";
    case Kind::TimedOut:
        return "timed out";
    case Kind::ConnectionCut:
        return "connection cut";
    case Kind::NetworkUnreachable:
        return "network unreachable";
    case Kind::UntrustedCertificate:
        return "untrusted certificate";
    case Kind::CertificateNameMismatch:
        return "certificate for another host";
    case Kind::CertificateExpired:
        return "certificate expired or not yet valid";
    case Kind::SecureConnectionFailed:
        return "secure connection failed";
    case Kind::ProxyFailed:
        return "proxy failed";
    case Kind::HttpStatus:
        return "refused with HTTP";
    case Kind::AnswerTooLarge:
        return "answer too large";
    case Kind::AnswerTooSlow:
        return "answer too slow";
    case Kind::UnusableAnswer:
        return "unusable answer";
    case Kind::FileNotWritten:
        return "cannot write the file";
    case Kind::DigestMismatch:
        return "bytes do not match the digest";
    case Kind::Other:
        break;
    }
    return "failed";
}

}  // namespace

QDebug operator<<(QDebug debug, const TransferError &error)
{
    const QDebugStateSaver saver(debug);
    debug.noquote().nospace() << kindName(error.kind);
    if (error.httpStatus != 0)
        debug << ' ' << error.httpStatus;
    if (!error.host.isEmpty())
        debug << ", host " << error.host;
    if (!error.detail.isEmpty())
        debug << ": " << error.detail;
    return debug;
}
