#pragma once

#include <QtGlobal>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tvq52 {

// The keys of a batch of rows, each with the batch's first row of it. A
// flat table probed by the key's hash, the keys' bytes one after another:
// a million rows go through it, and a node and a string per key cost more
// than the lookup.
class BatchKeys {
public:
    // Empty, with room for `rows` keys before it grows.
    void reset(size_t rows);
    // The first row of `key`, and whether that is `row`, which `key` is new with.
    std::pair<qint64, bool> find(std::string_view key, qint64 row);
    // Forgets the key find() added last: its row was not taken after all.
    void forgetLast();
    size_t size() const { return used_; }

private:
    struct Slot {
        size_t hash = 0;
        quint32 offset = 0;
        quint32 size = 0;
        qint64 row = -1; // -1: free
    };
    void grow();
    size_t place(size_t hash, std::string_view key) const;

    std::vector<Slot> slots_; // a power of two, at most half full
    std::string bytes_;
    size_t used_ = 0;
    size_t last_ = 0;
    bool added_ = false;
};

} // namespace tvq52
