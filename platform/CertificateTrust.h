#pragma once

#include "common/Result.h"
#include "common/TransferError.h"

#include <QList>
#include <QSslCertificate>

namespace Quillmere {

// What Qt Network makes of a server's certificate: the authorities of the default TLS
// configuration are the system's store, as for every catalogue and download.
namespace CertificateTrust {

// Whether the chain the server presented (its own certificate first) leads to an authority the
// store trusts and names host; why not, when it does not.
Result<void, TransferError> verify(const QList<QSslCertificate> &chain, const QString &host);

}  // namespace CertificateTrust

}  // namespace Quillmere
