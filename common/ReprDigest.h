#pragma once

#include <QByteArray>

#include <optional>

// The Repr-Digest header field (RFC 9530) a server sends to name the bytes of the whole file,
// in every answer, whole or ranged: a dictionary such as "sha-256=:<base64>:, sha-512=:…:".
namespace ReprDigest {

// The SHA-256 the field names, 32 bytes; nothing when it names none, or none that is well formed.
std::optional<QByteArray> sha256(const QByteArray &fieldValue);
// "sha-256=:<base64>:" for a 32-byte digest.
QByteArray fieldValue(const QByteArray &sha256);

}  // namespace ReprDigest
