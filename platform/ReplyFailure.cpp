#include "platform/ReplyFailure.h"

#include <QNetworkReply>
#include <QStringList>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Quillmere {

using Kind = TransferError::Kind;

namespace {

Kind certificateKind(QSslError::SslError error)
{
    switch (error) {
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::CertificateUntrusted:
    case QSslError::CertificateRejected:
    case QSslError::InvalidCaCertificate:
        return Kind::UntrustedCertificate;
    case QSslError::HostNameMismatch:
        return Kind::CertificateNameMismatch;
    case QSslError::CertificateExpired:
    case QSslError::CertificateNotYetValid:
        return Kind::CertificateExpired;
    default:
        return Kind::SecureConnectionFailed;
    }
}

Kind networkKind(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return Kind::ConnectionRefused;
    case QNetworkReply::HostNotFoundError:
        return Kind::HostNotFound;
    // The transfer time-out ends a reply as cancelled.
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return Kind::TimedOut;
    case QNetworkReply::RemoteHostClosedError:
        return Kind::ConnectionCut;
    // Qt reports an unreachable network, a link that went down, as an unknown network error.
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
        return Kind::NetworkUnreachable;
    case QNetworkReply::SslHandshakeFailedError:
        return Kind::SecureConnectionFailed;
    case QNetworkReply::ProtocolUnknownError:
    case QNetworkReply::ProtocolInvalidOperationError:
    case QNetworkReply::ProtocolFailure:
    case QNetworkReply::TooManyRedirectsError:
    case QNetworkReply::InsecureRedirectError:
        return Kind::UnusableAnswer;
    default:
        break;
    }
    if (error >= QNetworkReply::ProxyConnectionRefusedError && error <= QNetworkReply::UnknownProxyError)
        return Kind::ProxyFailed;
    return Kind::Other;
}

}  // namespace

namespace ReplyFailure {

TransferError of(const QNetworkReply &reply, const QList<QSslError> &sslErrors)
{
    const QString host = reply.url().host();
    if (reply.error() == QNetworkReply::SslHandshakeFailedError && !sslErrors.isEmpty())
        return ofCertificate(sslErrors, host);
    const qint32 status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    Kind kind = networkKind(reply.error());
    // An answer the server gave; a redirect the client may not follow stays unusable. One
    // refused before the reply ended has no error of its own yet, only the server's words.
    if (status != 0 && (kind == Kind::Other || reply.error() == QNetworkReply::NoError))
        kind = Kind::HttpStatus;
    const QString detail = reply.error() == QNetworkReply::NoError
        ? reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString()
        : reply.errorString();
    return {kind, status, host, detail};
}

TransferError ofCertificate(const QList<QSslError> &errors, const QString &host)
{
    QStringList texts;
    Kind kind = Kind::SecureConnectionFailed;
    // The order of the kinds is the order in which they are told: an issuer nobody trusts makes
    // any other fault of the certificate moot.
    static constexpr Kind Telling[] = {Kind::UntrustedCertificate, Kind::CertificateNameMismatch,
                                       Kind::CertificateExpired, Kind::SecureConnectionFailed};
    const auto rank = [](Kind k) { return std::find(std::begin(Telling), std::end(Telling), k) - std::begin(Telling); };
    for (const QSslError &error : errors) {
        texts.append(error.errorString());
        if (rank(certificateKind(error.error())) < rank(kind))
            kind = certificateKind(error.error());
    }
    return {kind, 0, host, texts.join(u"; "_s)};
}

}  // namespace ReplyFailure

}  // namespace Quillmere
