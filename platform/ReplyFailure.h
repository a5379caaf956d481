#pragma once

#include "common/TransferError.h"

#include <QList>
#include <QSslError>

class QNetworkReply;

namespace Quillmere {

// Why a reply failed, in the words of TransferError, with Qt Network's own text as its detail.
namespace ReplyFailure {

// The reply's error and, for a failed handshake, the certificate errors it reported.
TransferError of(const QNetworkReply &reply, const QList<QSslError> &sslErrors);
// What is wrong with a certificate of host, the most telling of its errors first.
TransferError ofCertificate(const QList<QSslError> &errors, const QString &host);

}  // namespace ReplyFailure

}  // namespace Quillmere
