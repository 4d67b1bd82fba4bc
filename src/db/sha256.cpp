#include "db/sha256.h"

#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TVQ52_SHA_NI 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace tvq52 {

namespace {

constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t rotr(std::uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

void compressPortable(std::uint32_t* state, const unsigned char* block, std::size_t count)
{
    for (; count > 0; --count, block += 64) {
        std::uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = std::uint32_t(block[4 * i]) << 24 | std::uint32_t(block[4 * i + 1]) << 16
                | std::uint32_t(block[4 * i + 2]) << 8 | std::uint32_t(block[4 * i + 3]);
        for (int i = 16; i < 64; ++i) {
            const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t v[8];
        std::memcpy(v, state, sizeof v);
        for (int i = 0; i < 64; ++i) {
            const std::uint32_t s1 = rotr(v[4], 6) ^ rotr(v[4], 11) ^ rotr(v[4], 25);
            const std::uint32_t choice = (v[4] & v[5]) ^ (~v[4] & v[6]);
            const std::uint32_t t1 = v[7] + s1 + choice + kRound[i] + w[i];
            const std::uint32_t s0 = rotr(v[0], 2) ^ rotr(v[0], 13) ^ rotr(v[0], 22);
            const std::uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
            std::memmove(v + 1, v, 7 * sizeof(std::uint32_t));
            v[4] += t1;
            v[0] = t1 + s0 + majority;
        }
        for (int i = 0; i < 8; ++i)
            state[i] += v[i];
    }
}

#ifdef TVQ52_SHA_NI

bool hasShaInstructions()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_SSSE3) || !(c & bit_SSE4_1))
        return false;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_SHA);
}

// Four rounds: the message words plus their constants, two rounds at a time.
__attribute__((target("sha,sse4.1,ssse3"))) inline void rounds4(__m128i& abef, __m128i& cdgh, __m128i words, int at)
{
    __m128i m = _mm_add_epi32(words, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRound + at)));
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, m);
    m = _mm_shuffle_epi32(m, 0x0E);
    abef = _mm_sha256rnds2_epu32(abef, cdgh, m);
}

__attribute__((target("sha,sse4.1,ssse3"))) void compressNative(std::uint32_t* state, const unsigned char* block,
                                                                std::size_t count)
{
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    // The instructions keep the state as (a, b, e, f) and (c, d, g, h).
    __m128i dcba = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
    __m128i hgfe = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
    __m128i abef = _mm_alignr_epi8(dcba, hgfe, 8);
    __m128i cdgh = _mm_blend_epi16(hgfe, dcba, 0xF0);
    for (; count > 0; --count, block += 64) {
        const __m128i abefBefore = abef, cdghBefore = cdgh;
        __m128i w[4];
#pragma GCC unroll 4
        for (int i = 0; i < 4; ++i) {
            w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i)), byteSwap);
            rounds4(abef, cdgh, w[i], 4 * i);
        }
#pragma GCC unroll 12
        for (int i = 4; i < 16; ++i) {
            __m128i& next = w[i % 4];
            const __m128i& last = w[(i + 3) % 4];
            next = _mm_sha256msg1_epu32(next, w[(i + 1) % 4]);
            next = _mm_add_epi32(next, _mm_alignr_epi8(last, w[(i + 2) % 4], 4));
            next = _mm_sha256msg2_epu32(next, last);
            rounds4(abef, cdgh, next, 4 * i);
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }
    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

const bool kNative = hasShaInstructions();

#else

constexpr bool kNative = false;

#endif

} // namespace

bool Sha256::accelerated()
{
    return kNative;
}

void Sha256::reset()
{
    static constexpr std::uint32_t initial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::memcpy(state_, initial, sizeof state_);
    buffered_ = 0;
    length_ = 0;
}

void Sha256::compress(const unsigned char* blocks, std::size_t count)
{
#ifdef TVQ52_SHA_NI
    if (kNative) {
        compressNative(state_, blocks, count);
        return;
    }
#endif
    compressPortable(state_, blocks, count);
}

void Sha256::addData(const char* data, std::size_t size)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    length_ += size;
    if (buffered_ > 0) {
        const std::size_t take = std::min(size, sizeof buffer_ - buffered_);
        std::memcpy(buffer_ + buffered_, bytes, take);
        buffered_ += take;
        bytes += take;
        size -= take;
        if (buffered_ < sizeof buffer_)
            return;
        compress(buffer_, 1);
        buffered_ = 0;
    }
    if (size >= 64) {
        compress(bytes, size / 64);
        bytes += size / 64 * 64;
        size %= 64;
    }
    std::memcpy(buffer_, bytes, size);
    buffered_ = size;
}

void Sha256::hexResult(char* out)
{
    finish();
    static constexpr char digits[] = "0123456789abcdef";
    for (int i = 0; i < 32; ++i) {
        const auto byte = std::uint8_t(state_[i / 4] >> (24 - 8 * (i % 4)));
        out[2 * i] = digits[byte >> 4];
        out[2 * i + 1] = digits[byte & 15];
    }
    reset();
}

void Sha256::hex(const char* data, std::size_t size, char* out)
{
    Sha256 h;
    h.addData(data, size);
    h.hexResult(out);
}

void Sha256::finish()
{
    const std::uint64_t bits = length_ * 8;
    unsigned char tail[72] = {0x80};
    const std::size_t pad = (buffered_ < 56 ? 56 : 120) - buffered_;
    for (int i = 0; i < 8; ++i)
        tail[pad + std::size_t(i)] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    addData(reinterpret_cast<const char*>(tail), pad + 8);
}

QByteArray Sha256::result()
{
    finish();
    QByteArray digest(32, Qt::Uninitialized);
    for (int i = 0; i < 32; ++i)
        digest[i] = char(state_[i / 4] >> (24 - 8 * (i % 4)));
    reset();
    return digest;
}

QByteArray Sha256::hex(const char* data, std::size_t size)
{
    Sha256 h;
    h.addData(data, size);
    return h.hexResult();
}

} // namespace tvq52
