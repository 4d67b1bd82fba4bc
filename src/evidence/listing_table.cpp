#include "evidence/listing_table.h"

#include <QRandomGenerator>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace tvq52 {

namespace {

std::uint64_t rotl(std::uint64_t x, int b)
{
    return (x << b) | (x >> (64 - b));
}

struct SipState {
    std::uint64_t v0, v1, v2, v3;
    void rounds(int n)
    {
        for (int i = 0; i < n; ++i) {
            v0 += v1;
            v1 = rotl(v1, 13) ^ v0;
            v0 = rotl(v0, 32);
            v2 += v3;
            v3 = rotl(v3, 16) ^ v2;
            v0 += v3;
            v3 = rotl(v3, 21) ^ v0;
            v2 += v1;
            v1 = rotl(v1, 17) ^ v2;
            v2 = rotl(v2, 32);
        }
    }
    void take(std::uint64_t m)
    {
        v3 ^= m;
        rounds(2);
        v0 ^= m;
    }
    std::uint64_t out() const { return v0 ^ v1 ^ v2 ^ v3; }
};

std::uint64_t littleEndian(const char* p, std::size_t n)
{
    std::uint64_t m = 0;
    for (std::size_t i = 0; i < n; ++i)
        m |= std::uint64_t(static_cast<unsigned char>(p[i])) << (8 * i);
    return m;
}

} // namespace

ListingTable::Hash sipHash128(const std::uint64_t key[2], std::string_view bytes)
{
    SipState s{key[0] ^ 0x736f6d6570736575ull, key[1] ^ 0x646f72616e646f6dull ^ 0xee,
               key[0] ^ 0x6c7967656e657261ull, key[1] ^ 0x7465646279746573ull};
    const std::size_t whole = bytes.size() / 8 * 8;
    for (std::size_t i = 0; i < whole; i += 8)
        s.take(littleEndian(bytes.data() + i, 8));
    s.take((std::uint64_t(bytes.size()) << 56) | littleEndian(bytes.data() + whole, bytes.size() - whole));
    s.v2 ^= 0xee;
    s.rounds(4);
    const std::uint64_t first = s.out();
    s.v1 ^= 0xdd;
    s.rounds(4);
    return {first, s.out()};
}

void ListingTable::Free::operator()(void* p) const
{
    std::free(p);
}

template <class T>
ListingTable::Pages<T> ListingTable::pages(std::size_t n)
{
    static_assert(std::is_trivially_copyable_v<T>);
    constexpr std::size_t kLargePage = 2 << 20;
    const std::size_t bytes = (n * sizeof(T) + kLargePage - 1) / kLargePage * kLargePage;
    void* p = std::aligned_alloc(kLargePage, bytes);
    if (!p)
        throw std::bad_alloc();
#ifdef Q_OS_LINUX
    (void)madvise(p, bytes, MADV_HUGEPAGE);
#endif
    std::memset(p, 0, bytes);
    return Pages<T>(static_cast<T*>(p));
}

ListingTable::ListingTable()
{
    QRandomGenerator::system()->generate(std::begin(secret_), std::end(secret_));
}

ListingTable::Hash ListingTable::hashOf(std::string_view table, std::string_view key)
{
    text_.assign(table).push_back('\x1f');
    text_.append(key);
    return sipHash128(secret_, text_);
}

std::size_t ListingTable::slotOf(const Hash& h) const
{
    const std::size_t mask = indexSize_ - 1;
    const std::uint64_t tag = h.second >> 32;
    for (std::size_t at = h.first & mask;; at = (at + 1) & mask) {
        const std::uint64_t e = index_[at];
        if (e == 0)
            return at;
        if (e >> 32 == tag) {
            const Listing& l = this->at(std::size_t(e & 0xffffffffu) - 1);
            if (l.hash[0] == h.first && l.hash[1] == h.second)
                return at;
        }
    }
}

void ListingTable::grow()
{
    const std::size_t size = std::max<std::size_t>(indexSize_ * 2, kBlock);
    Pages<std::uint64_t> index = pages<std::uint64_t>(size);
    const std::size_t mask = size - 1;
    for (std::size_t i = 0; i < size_; ++i) {
        const Listing& l = at(i);
        std::size_t slot = l.hash[0] & mask;
        while (index[slot] != 0)
            slot = (slot + 1) & mask;
        index[slot] = (l.hash[1] >> 32 << 32) | (i + 1);
    }
    index_ = std::move(index);
    indexSize_ = size;
}

bool ListingTable::list(std::string_view table, std::string_view key, qint64 entry, qint64 line,
                        const unsigned char* digest)
{
    // Three quarters full at most: a miss then probes a few slots.
    if ((size_ + 1) * 4 > indexSize_ * 3)
        grow();
    const Hash h = hashOf(table, key);
    const std::size_t slot = slotOf(h);
    bool before = false;
    Listing* l = nullptr;
    if (index_[slot] != 0) {
        l = &changeAt(std::size_t(index_[slot] & 0xffffffffu) - 1);
        before = l->entry != entry;
    } else {
        if (size_ % kBlock == 0)
            blocks_.push_back(pages<Listing>(kBlock));
        index_[slot] = (h.second >> 32 << 32) | (size_ + 1);
        l = &changeAt(size_++);
        l->hash[0] = h.first;
        l->hash[1] = h.second;
        seen_.push_back(false);
    }
    l->entry = entry;
    l->line = line;
    std::memcpy(l->digest.data(), digest, l->digest.size());
    return before;
}

const ListingTable::Listing* ListingTable::see(std::string_view table, std::string_view key)
{
    if (size_ == 0)
        return nullptr;
    const Hash h = hashOf(table, key);
    std::size_t i = next_;
    if (i >= size_ || at(i).hash[0] != h.first || at(i).hash[1] != h.second) {
        const std::uint64_t e = index_[slotOf(h)];
        if (e == 0)
            return nullptr;
        i = std::size_t(e & 0xffffffffu) - 1;
    }
    next_ = i + 1;
    seen_[i] = true;
    return &at(i);
}

} // namespace tvq52
