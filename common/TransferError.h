#pragma once

#include <QString>

class QDebug;

// Why a transfer failed, as it happened: carried from the network or the disk to where it is
// shown and logged. The words the user reads are made from it at the window edge.
struct TransferError
{
    enum class Kind {
        ConnectionRefused,
        HostNotFound,
        // No answer, or no byte for the time-out.
        TimedOut,
        // Closed or reset before the answer was whole.
        ConnectionCut,
        NetworkUnreachable,
        // The certificate's issuer is not one the system trusts.
        UntrustedCertificate,
        // The certificate is for another host.
        CertificateNameMismatch,
        CertificateExpired,
        // The secure connection failed for another reason.
        SecureConnectionFailed,
        ProxyFailed,
        // The server answered no; httpStatus says how.
        HttpStatus,
        AnswerTooLarge,
        // The whole answer took longer than it may.
        AnswerTooSlow,
        // Not an answer the client can use: not HTTP, a redirect it may not follow, endless redirects.
        UnusableAnswer,
        // The bytes could not be kept on disk.
        FileNotWritten,
        // The bytes are not the file the server named by its digest.
        DigestMismatch,
        Other,
    };

    Kind kind = Kind::Other;
    qint32 httpStatus = 0;
    // The server the failure concerns, as named in the address (after any redirect).
    QString host;
    // The library's own words, for the log.
    QString detail;

    friend bool operator==(const TransferError &, const TransferError &) = default;
};

// "connection refused, host 127.0.0.1: Connection refused", for the log.
QDebug operator<<(QDebug debug, const TransferError &error);
