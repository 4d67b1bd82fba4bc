#include "db/batch_keys.h"

#include <functional>

namespace tvq52 {

void BatchKeys::reset(size_t rows)
{
    size_t n = 16;
    while (n < rows * 2)
        n *= 2;
    slots_.assign(n, Slot{});
    bytes_.clear();
    used_ = 0;
    added_ = false;
}

// Where `key` is, or the free slot it would take.
size_t BatchKeys::place(size_t hash, std::string_view key) const
{
    const size_t mask = slots_.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
        const Slot& s = slots_[at];
        if (s.row < 0 || (s.hash == hash && std::string_view(bytes_).substr(s.offset, s.size) == key))
            return at;
    }
}

std::pair<qint64, bool> BatchKeys::find(std::string_view key, qint64 row)
{
    if (slots_.empty() || (used_ + 1) * 2 > slots_.size())
        grow();
    const size_t hash = std::hash<std::string_view>()(key);
    const size_t at = place(hash, key);
    Slot& s = slots_[at];
    added_ = s.row < 0;
    if (!added_)
        return {s.row, false};
    s = Slot{hash, quint32(bytes_.size()), quint32(key.size()), row};
    bytes_.append(key);
    ++used_;
    last_ = at;
    return {row, true};
}

// Safe for the last key added only: no probe since has passed its slot
// on the way to another key's.
void BatchKeys::forgetLast()
{
    if (!added_)
        return;
    bytes_.resize(slots_[last_].offset);
    slots_[last_] = Slot{};
    --used_;
    added_ = false;
}

void BatchKeys::grow()
{
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(std::max<size_t>(16, old.size() * 2), Slot{});
    const size_t mask = slots_.size() - 1;
    for (const Slot& s : old) {
        if (s.row < 0)
            continue;
        size_t at = s.hash & mask;
        while (slots_[at].row >= 0)
            at = (at + 1) & mask;
        slots_[at] = s;
    }
    added_ = false;
}

} // namespace tvq52
