#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>

namespace tvq52 {

// SHA-256 with the processor's own instructions where it has them. The
// journal hashes every record a merge or a download adds and every line of
// an entry it seals: a million rows through the portable code take seconds.
class Sha256 {
public:
    Sha256() { reset(); }
    void reset();
    void addData(const char* data, std::size_t size);
    void addData(const QByteArray& data) { addData(data.constData(), std::size_t(data.size())); }
    // The 32 bytes of the digest; the object starts again afterwards.
    QByteArray result();
    // The digest as 64 lowercase hex digits.
    QByteArray hexResult() { return result().toHex(); }
    void hexResult(char* out);

    static QByteArray hex(const char* data, std::size_t size);
    // The same into `out`, which takes 64 characters and no terminator.
    static void hex(const char* data, std::size_t size, char* out);
    static QByteArray hex(const QByteArray& data) { return hex(data.constData(), std::size_t(data.size())); }
    // Whether the processor's instructions are used (the portable code otherwise).
    static bool accelerated();

private:
    void compress(const unsigned char* blocks, std::size_t count);
    void finish(); // pads: the state then holds the digest
    std::uint32_t state_[8];
    unsigned char buffer_[64];
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;
};

} // namespace tvq52
