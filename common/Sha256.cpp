#include "common/Sha256.h"

#include <QIODevice>

#include <openssl/evp.h>

#include <new>

void Sha256::Free::operator()(evp_md_ctx_st *context) const
{
    EVP_MD_CTX_free(context);
}

Sha256::Sha256()
    : m_context(EVP_MD_CTX_new())
{
    if (!m_context)
        throw std::bad_alloc();
    reset();
}

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256 &&) noexcept = default;
Sha256 &Sha256::operator=(Sha256 &&) noexcept = default;

// The only failures libcrypto reports here are a context it could not allocate and an
// algorithm it lacks, neither of which a build against it can meet.
void Sha256::reset()
{
    EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr);
}

void Sha256::addData(QByteArrayView bytes)
{
    EVP_DigestUpdate(m_context.get(), bytes.data(), size_t(bytes.size()));
}

bool Sha256::addData(QIODevice &device)
{
    QByteArray piece(1024 * 1024, Qt::Uninitialized);
    qint64 got = 0;
    while ((got = device.read(piece.data(), piece.size())) > 0)
        addData(QByteArrayView(piece.constData(), got));
    return got == 0;
}

QByteArray Sha256::result() const
{
    // Finished on a copy, so the running digest can still take more.
    const std::unique_ptr<evp_md_ctx_st, Free> copy(EVP_MD_CTX_new());
    QByteArray digest(Size, Qt::Uninitialized);
    if (!copy || !EVP_MD_CTX_copy_ex(copy.get(), m_context.get())
        || !EVP_DigestFinal_ex(copy.get(), reinterpret_cast<unsigned char *>(digest.data()), nullptr))
        throw std::bad_alloc();
    return digest;
}
