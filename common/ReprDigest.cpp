#include "common/ReprDigest.h"

#include <QList>

namespace ReprDigest {

std::optional<QByteArray> sha256(const QByteArray &fieldValue)
{
    // Neither keys nor byte sequences can hold a comma, so the members split on it; several
    // fields of the name arrive joined by commas too.
    for (const QByteArray &member : fieldValue.split(',')) {
        const QByteArray trimmed = member.trimmed();
        const qsizetype equals = trimmed.indexOf('=');
        if (equals < 0 || trimmed.first(equals) != "sha-256")
            continue;
        // A member's parameters follow its value after ';'.
        const QByteArray value = trimmed.sliced(equals + 1).split(';').first().trimmed();
        if (value.size() < 2 || !value.startsWith(':') || !value.endsWith(':'))
            return std::nullopt;
        const auto decoded = QByteArray::fromBase64Encoding(value.sliced(1, value.size() - 2),
                                                            QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || decoded.decoded.size() != 32)
            return std::nullopt;
        return decoded.decoded;
    }
    return std::nullopt;
}

QByteArray fieldValue(const QByteArray &sha256)
{
    return "sha-256=:" + sha256.toBase64() + ':';
}

}  // namespace ReprDigest
