#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

class QIODevice;
struct evp_md_ctx_st;

// SHA-256 of bytes that arrive a piece at a time, from OpenSSL's libcrypto, which uses the
// processor's SHA instructions: several times the speed of QCryptographicHash in Qt 6.4, fast
// enough to hash a download as it arrives over loopback.
class Sha256
{
public:
    static constexpr qsizetype Size = 32;

    Sha256();
    ~Sha256();
    Sha256(Sha256 &&) noexcept;
    Sha256 &operator=(Sha256 &&) noexcept;

    void addData(QByteArrayView bytes);
    // Adds what is left to read of the device, a megabyte at a time; false when a read failed.
    bool addData(QIODevice &device);
    // The digest of the bytes added since construction or the last reset; more may follow.
    QByteArray result() const;
    void reset();

private:
    struct Free
    {
        void operator()(evp_md_ctx_st *context) const;
    };
    std::unique_ptr<evp_md_ctx_st, Free> m_context;
};
