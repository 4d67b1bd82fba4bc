#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QCryptographicHash>
#include <array>
#include <cstdint>

namespace tvq52 {

// SHA-256 on the processor's own instructions where it has them (the
// journal hashes every record an import adds and the whole file it reads;
// the portable code takes several times as long), else QCryptographicHash.
class Sha256 {
public:
    Sha256();
    void reset();
    void add(QByteArrayView bytes);
    // The 32 bytes of the hash of what was added so far; adding may go on.
    QByteArray result();
    // The hash of `bytes` in lower-case hex.
    static QByteArray hex(QByteArrayView bytes);
    // Whether the processor's instructions are used.
    static bool accelerated();

private:
    bool fast_;
    QCryptographicHash portable_{QCryptographicHash::Sha256};
    std::array<std::uint32_t, 8> state_{};
    std::array<unsigned char, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;
};

} // namespace tvq52
