#include "core/sha256.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/sha.h>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace tvq52 {

namespace {

// Fetched once: EVP_sha256() would look the implementation up again at
// every init, under a lock, which costs more than hashing a short line.
const EVP_MD* sha256Method()
{
    static EVP_MD* const md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return md;
}

// A context that cannot be had leaves nothing to hash with: there is no
// sensible way on, as with memory that cannot be had.
void check(int ok)
{
    if (ok != 1)
        qFatal("SHA-256: OpenSSL failed");
}

EVP_MD_CTX* newContext()
{
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    if (!ctx || !sha256Method())
        qFatal("SHA-256: OpenSSL has no SHA-256");
    return ctx;
}

// The thread's context for finishing a copy (result) or a one-off hash (hex):
// reused, so that neither allocates.
EVP_MD_CTX* scratch()
{
    struct Owned {
        EVP_MD_CTX* ctx = newContext();
        ~Owned() { EVP_MD_CTX_free(ctx); }
    };
    thread_local Owned owned;
    return owned.ctx;
}

QByteArray finish(EVP_MD_CTX* ctx)
{
    QByteArray out(32, Qt::Uninitialized);
    unsigned int size = 0;
    check(EVP_DigestFinal_ex(ctx, reinterpret_cast<unsigned char*>(out.data()), &size));
    return out;
}

} // namespace

Sha256::Sha256() : ctx_(newContext())
{
    reset();
}

Sha256::Sha256(const Sha256& other) : ctx_(newContext())
{
    check(EVP_MD_CTX_copy_ex(ctx_, other.ctx_));
}

Sha256::Sha256(Sha256&& other) noexcept : ctx_(std::exchange(other.ctx_, nullptr)) {}

Sha256& Sha256::operator=(Sha256 other) noexcept
{
    std::swap(ctx_, other.ctx_);
    return *this;
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(ctx_);
}

void Sha256::reset()
{
    // A moved-from hash is given a context again.
    if (!ctx_)
        ctx_ = newContext();
    check(EVP_DigestInit_ex2(ctx_, sha256Method(), nullptr));
}

void Sha256::add(QByteArrayView bytes)
{
    check(EVP_DigestUpdate(ctx_, bytes.data(), std::size_t(bytes.size())));
}

QByteArray Sha256::result()
{
    EVP_MD_CTX* copy = scratch();
    check(EVP_MD_CTX_copy_ex(copy, ctx_));
    return finish(copy);
}

QByteArray Sha256::hex(QByteArrayView bytes)
{
    EVP_MD_CTX* ctx = scratch();
    check(EVP_DigestInit_ex2(ctx, sha256Method(), nullptr));
    check(EVP_DigestUpdate(ctx, bytes.data(), std::size_t(bytes.size())));
    return finish(ctx).toHex();
}

void Sha256::hashInto(QByteArrayView bytes, unsigned char* out)
{
    // The hash's own functions, the same code the provider runs with the
    // processor's instructions: a merge hashes a short row a million times,
    // and the provider's set-up per hash costs more than the hashing.
    // OpenSSL marks them deprecated; nothing else hashes without that set-up.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    SHA256_CTX ctx;
    check(SHA256_Init(&ctx));
    check(SHA256_Update(&ctx, bytes.data(), std::size_t(bytes.size())));
    check(SHA256_Final(out, &ctx));
#pragma GCC diagnostic pop
}

bool Sha256::accelerated()
{
#if defined(__x86_64__) || defined(__i386__)
    // What OpenSSL's own dispatch looks for.
    unsigned a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_SHA);
#else
    return false;
#endif
}

} // namespace tvq52
