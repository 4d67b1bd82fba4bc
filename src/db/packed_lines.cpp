#include "db/packed_lines.h"

#include "core/own_words.h"
#include "core/sha256.h"

#include <algorithm>
#include <cstring>

namespace tvq52::packed_lines {

namespace {

void putCount(std::string& out, std::size_t n)
{
    while (n >= 0x80) {
        out.push_back(char(0x80 | (n & 0x7f)));
        n >>= 7;
    }
    out.push_back(char(n));
}

bool getCount(const unsigned char*& at, const unsigned char* end, std::size_t& n)
{
    n = 0;
    for (int shift = 0; shift < 28; shift += 7) {
        if (at == end)
            return false;
        const unsigned char b = *at++;
        n |= std::size_t(b & 0x7f) << shift;
        if ((b & 0x80) == 0)
            return true;
    }
    return false;
}

std::string_view serialOf(std::string_view key)
{
    return key.substr(0, key.find(' '));
}

QByteArray bytes(const std::string& s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

} // namespace

QByteArray lineText(QByteArrayView table, QByteArrayView firstKey, QByteArrayView lastKey, QByteArrayView digest)
{
    QByteArray text;
    text.reserve(table.size() + firstKey.size() + lastKey.size() + digest.size() + 4);
    text.append(table).append('\x1f').append(firstKey).append('\x1f').append(lastKey).append('\x1f');
    text.append(digest).append('\x1e');
    return text;
}

void Packer::add(std::string_view table, std::string_view key, const Digest& digest)
{
    add(table, key, digest.data());
}

void Packer::add(std::string_view table, std::string_view key, const unsigned char* digest)
{
    // Rows mostly come unit after unit: the line of the last one is tried first.
    auto it = last_;
    if (it == open_.end() || it->second.table != table || serialOf(it->second.last) != serialOf(key)) {
        slot_.assign(table).push_back('\x1f');
        slot_.append(serialOf(key));
        it = open_.find(slot_);
        if (it == open_.end()) {
            it = open_.emplace(slot_, Open{}).first;
            it->second.table.assign(table);
            it->second.packed.push_back(kFormat);
            it->second.opened = opened_++;
        }
        last_ = it;
    }
    Open& o = it->second;
    std::size_t shared = 0;
    const std::size_t most = std::min(o.last.size(), key.size());
    while (shared < most && o.last[shared] == key[shared])
        ++shared;
    if (o.records == 0)
        o.first.assign(key);
    putCount(o.packed, shared);
    putCount(o.packed, key.size() - shared);
    o.packed.append(key.substr(shared));
    o.packed.append(reinterpret_cast<const char*>(digest), kDigestBytes);
    // Only the part after the shared prefix changes.
    o.last.resize(shared);
    o.last.append(key.substr(shared));
    if (++o.records >= perLine_) {
        close(o);
        open_.erase(it);
        last_ = open_.end();
    }
}

void Packer::close(Open& o)
{
    Line line;
    line.table = bytes(o.table);
    line.firstKey = bytes(o.first);
    line.lastKey = bytes(o.last);
    line.packed = bytes(o.packed);
    line.digest = packedDigest(line.packed);
    line.records = o.records;
    full_.push_back(std::move(line));
}

std::vector<Line> Packer::take(bool all)
{
    if (all) {
        std::vector<Open*> open;
        for (auto& [slot, o] : open_)
            open.push_back(&o);
        std::sort(open.begin(), open.end(), [](const Open* a, const Open* b) { return a->opened < b->opened; });
        for (Open* o : open)
            close(*o);
        open_.clear();
        last_ = open_.end();
    }
    std::vector<Line> lines;
    lines.swap(full_);
    return lines;
}

void Packer::clear()
{
    open_.clear();
    last_ = open_.end();
    full_.clear();
}

qint32 LineNumbers::next(std::string_view key)
{
    const std::string_view unit = serialOf(key);
    if (!last_ || lastUnit_ != unit) {
        auto it = open_.find(unit);
        if (it == open_.end())
            it = open_.emplace(std::string(unit), Open{lines_++, 0}).first;
        last_ = &it->second;
        lastUnit_.assign(unit);
    }
    if (last_->records == perLine_)
        *last_ = Open{lines_++, 0};
    ++last_->records;
    return last_->line;
}

void LineNumbers::clear()
{
    open_.clear();
    last_ = nullptr;
    lastUnit_.clear();
    lines_ = 0;
}

namespace {

// Format 2, as the server's store function writes it: per record the key's
// length (2 bytes, big-endian), the key, the digest.
Result<std::vector<Record>> unpackServer(const unsigned char* at, const unsigned char* end)
{
    std::vector<Record> records;
    while (at != end) {
        if (end - at < 2)
            return ownWords(QStringLiteral("A packed journal line is cut short"));
        const std::size_t size = std::size_t(at[0]) << 8 | at[1];
        at += 2;
        if (std::size_t(end - at) < size + kDigestBytes)
            return ownWords(QStringLiteral("A packed journal line is cut short"));
        Record r;
        r.key.assign(reinterpret_cast<const char*>(at), size);
        std::memcpy(r.digest.data(), at + size, kDigestBytes);
        at += size + kDigestBytes;
        records.push_back(std::move(r));
    }
    return records;
}

} // namespace

Result<std::vector<Record>> unpack(QByteArrayView packed)
{
    const auto* at = reinterpret_cast<const unsigned char*>(packed.data());
    const unsigned char* end = at + packed.size();
    if (at != end && *at == static_cast<unsigned char>(kServerFormat))
        return unpackServer(at + 1, end);
    if (at == end || *at != static_cast<unsigned char>(kFormat))
        return ownWords(QStringLiteral("A packed journal line is in a form this program does not know"));
    ++at;
    std::vector<Record> records;
    std::string last;
    while (at != end) {
        std::size_t shared = 0, rest = 0;
        if (!getCount(at, end, shared) || !getCount(at, end, rest) || shared > last.size()
            || std::size_t(end - at) < rest + kDigestBytes)
            return ownWords(QStringLiteral("A packed journal line is cut short"));
        Record r;
        r.key.assign(last, 0, shared);
        r.key.append(reinterpret_cast<const char*>(at), rest);
        at += rest;
        std::memcpy(r.digest.data(), at, kDigestBytes);
        at += kDigestBytes;
        last = r.key;
        records.push_back(std::move(r));
    }
    return records;
}

QByteArray packedDigest(QByteArrayView packed)
{
    return Sha256::hex(packed);
}

std::pair<QString, QString> unitKeyBounds(qint32 serial)
{
    // ' ' ends the serial in every key; '!' is the next character.
    const QString s = QString::number(serial);
    return {s + QLatin1Char(' '), s + QLatin1Char('!')};
}

} // namespace tvq52::packed_lines
