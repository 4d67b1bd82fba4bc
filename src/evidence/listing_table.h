#pragma once

#include "db/packed_lines.h"

#include <QtGlobal>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tvq52 {

// The newest listing of every record a journal check read, by table and
// key. A check of the whole journal lists ten million records: a string
// per key in a node-based map took most of its time and twice the memory.
// Here each record is 64 bytes in fixed blocks plus 8 in an open-addressed
// index, and its identity is a 128-bit SipHash of table and key under a
// key drawn at random for each check. The key texts are not kept: the
// stored rows and lines a check compares were written before the hash key
// existed, so no one could have chosen keys that collide under it, and
// any two of n records collide by chance with odds about n^2 / 2^129
// (10^-25 for ten million). `line` (the row of the line that listed a
// record) gives its key text back when a finding must name it.
class ListingTable {
public:
    struct Listing {
        std::uint64_t hash[2];
        qint64 entry;
        qint64 line;
        packed_lines::Digest digest;
    };
    using Hash = std::pair<std::uint64_t, std::uint64_t>;

    ListingTable();

    Hash hashOf(std::string_view table, std::string_view key);
    // Lists a record, the newer listing replacing an older one; true when
    // another entry had listed it before.
    bool list(std::string_view table, std::string_view key, qint64 entry, qint64 line, const unsigned char* digest);
    // The listing of a record, marked seen; null when none.
    const Listing* see(std::string_view table, std::string_view key);

    std::size_t size() const { return size_; }
    const Listing& at(std::size_t i) const { return block(i)[i % kBlock]; }
    bool seen(std::size_t i) const { return seen_[i]; }

private:
    static constexpr std::size_t kBlock = 1 << 16;
    struct Free {
        void operator()(void* p) const;
    };
    template <class T>
    using Pages = std::unique_ptr<T[], Free>;
    // `n` zeroed values, on large pages where the system has them: probes
    // at random over a gigabyte otherwise miss the address cache each time.
    template <class T>
    static Pages<T> pages(std::size_t n);

    Listing* block(std::size_t i) const { return blocks_[i / kBlock].get(); }
    Listing& changeAt(std::size_t i) { return blocks_[i / kBlock][i % kBlock]; }
    // The index slot of `h`: its listing's, or the empty one it would take.
    std::size_t slotOf(const Hash& h) const;
    void grow();

    std::uint64_t secret_[2];
    std::string text_;                 // table, separator, key
    Pages<std::uint64_t> index_; // tag << 32 | listing + 1; 0: empty
    std::size_t indexSize_ = 0;
    std::vector<Pages<Listing>> blocks_;
    std::vector<bool> seen_;
    std::size_t size_ = 0;
    // Where the last record seen was: stored rows come mostly in the order
    // their records were listed, so the next is most often the one after.
    std::size_t next_ = 0;
};

// SipHash-2-4 of `bytes` under `key`, its 128-bit form.
ListingTable::Hash sipHash128(const std::uint64_t key[2], std::string_view bytes);

} // namespace tvq52
