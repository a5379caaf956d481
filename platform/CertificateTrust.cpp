#include "platform/CertificateTrust.h"

#include "platform/ReplyFailure.h"

#include <QSslError>

using namespace Qt::StringLiterals;

namespace Quillmere {

namespace CertificateTrust {

Result<void, TransferError> verify(const QList<QSslCertificate> &chain, const QString &host)
{
    if (chain.isEmpty() || host.isEmpty())
        return Failure(TransferError{TransferError::Kind::UntrustedCertificate, 0, host, u"no certificate to check"_s});
    const QList<QSslError> errors = QSslCertificate::verify(chain, host);
    if (!errors.isEmpty())
        return Failure(ReplyFailure::ofCertificate(errors, host));
    return {};
}

}  // namespace CertificateTrust

}  // namespace Quillmere
