#pragma once

#include <QByteArray>
#include <QByteArrayView>

struct evp_md_ctx_st;

namespace tvq52 {

// SHA-256 through OpenSSL, which picks the processor's own instructions
// where it has them (the journal hashes every record an import adds and the
// whole file it reads).
class Sha256 {
public:
    Sha256();
    Sha256(const Sha256& other);
    Sha256(Sha256&& other) noexcept;
    Sha256& operator=(Sha256 other) noexcept;
    ~Sha256();

    void reset();
    void add(QByteArrayView bytes);
    // The 32 bytes of the hash of what was added so far; adding may go on.
    QByteArray result();
    // The hash of `bytes` in lower-case hex.
    static QByteArray hex(QByteArrayView bytes);
    // The 32 bytes of the hash of `bytes` into `out`: a bulk path hashes a
    // short text per row, and neither copies a context nor allocates.
    static void hashInto(QByteArrayView bytes, unsigned char* out);
    // Whether the processor's instructions are used.
    static bool accelerated();

private:
    evp_md_ctx_st* ctx_ = nullptr;
};

} // namespace tvq52
