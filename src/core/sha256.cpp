#include "core/sha256.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define TVQ52_SHA_NI 1
#endif

namespace tvq52 {

namespace {

constexpr std::array<std::uint32_t, 8> kInitialState = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

#ifdef TVQ52_SHA_NI
alignas(16) constexpr std::uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

bool hasShaInstructions()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_SSSE3) || !(c & bit_SSE4_1))
        return false;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_SHA);
}

__attribute__((target("sha,sse4.1,ssse3"))) void shaBlocks(std::uint32_t* state, const unsigned char* data,
                                                           std::size_t blocks)
{
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    t = _mm_shuffle_epi32(t, 0xB1);                   // CDAB
    state1 = _mm_shuffle_epi32(state1, 0x1B);         // EFGH
    __m128i state0 = _mm_alignr_epi8(t, state1, 8);   // ABEF
    state1 = _mm_blend_epi16(state1, t, 0xF0);        // CDGH
    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abef = state0, cdgh = state1;
        __m128i w[4];
#pragma GCC unroll 16
        for (int i = 0; i < 16; ++i) {
            __m128i m;
            if (i < 4) {
                m = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), byteSwap);
            } else {
                // w[t-16..t-13] + s0, + w[t-7..t-4], then s1 from w[t-2], w[t-1].
                m = _mm_add_epi32(_mm_sha256msg1_epu32(w[i % 4], w[(i + 1) % 4]),
                                  _mm_alignr_epi8(w[(i + 3) % 4], w[(i + 2) % 4], 4));
                m = _mm_sha256msg2_epu32(m, w[(i + 3) % 4]);
            }
            w[i % 4] = m;
            __m128i k = _mm_add_epi32(m, _mm_load_si128(reinterpret_cast<const __m128i*>(kRoundConstants + 4 * i)));
            state1 = _mm_sha256rnds2_epu32(state1, state0, k);
            k = _mm_shuffle_epi32(k, 0x0E);
            state0 = _mm_sha256rnds2_epu32(state0, state1, k);
        }
        state0 = _mm_add_epi32(state0, abef);
        state1 = _mm_add_epi32(state1, cdgh);
    }
    t = _mm_shuffle_epi32(state0, 0x1B);              // FEBA
    state1 = _mm_shuffle_epi32(state1, 0xB1);         // DCHG
    state0 = _mm_blend_epi16(t, state1, 0xF0);        // DCBA
    state1 = _mm_alignr_epi8(state1, t, 8);           // HGFE
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), state1);
}
#endif

} // namespace

bool Sha256::accelerated()
{
#ifdef TVQ52_SHA_NI
    static const bool has = hasShaInstructions();
    return has;
#else
    return false;
#endif
}

Sha256::Sha256() : fast_(accelerated())
{
    reset();
}

void Sha256::reset()
{
    portable_.reset();
    state_ = kInitialState;
    buffered_ = 0;
    length_ = 0;
}

void Sha256::add(QByteArrayView bytes)
{
#ifdef TVQ52_SHA_NI
    if (fast_) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
        std::size_t n = std::size_t(bytes.size());
        length_ += n;
        if (buffered_ > 0) {
            const std::size_t take = std::min(n, 64 - buffered_);
            std::memcpy(buffer_.data() + buffered_, p, take);
            buffered_ += take, p += take, n -= take;
            if (buffered_ < 64)
                return;
            shaBlocks(state_.data(), buffer_.data(), 1);
            buffered_ = 0;
        }
        if (n >= 64)
            shaBlocks(state_.data(), p, n / 64);
        if (n % 64 > 0)
            std::memcpy(buffer_.data(), p + n / 64 * 64, n % 64);
        buffered_ = n % 64;
        return;
    }
#endif
    portable_.addData(bytes);
}

QByteArray Sha256::result()
{
    if (!fast_)
        return portable_.result();
    // The padding: 0x80, zeros, and the length in bits, big-endian.
    unsigned char tail[72] = {0x80};
    const std::uint64_t bits = length_ * 8;
    const std::size_t pad = (buffered_ < 56 ? 56 : 120) - buffered_;
    for (int i = 0; i < 8; ++i)
        tail[pad + std::size_t(i)] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    const std::array<std::uint32_t, 8> saved = state_;
    const std::size_t savedBuffered = buffered_;
    const std::uint64_t savedLength = length_;
    add(QByteArrayView(reinterpret_cast<const char*>(tail), qsizetype(pad + 8)));
    QByteArray out(32, Qt::Uninitialized);
    for (int i = 0; i < 32; ++i)
        out[i] = char(state_[std::size_t(i / 4)] >> (24 - 8 * (i % 4)));
    state_ = saved, buffered_ = savedBuffered, length_ = savedLength;
    return out;
}

QByteArray Sha256::hex(QByteArrayView bytes)
{
    Sha256 h;
    h.add(bytes);
    return h.result().toHex();
}

} // namespace tvq52
