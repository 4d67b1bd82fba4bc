// The import's common case: a record in the forms a download or an export
// writes, read from its bytes into the row as stored, with no QString or
// QVariant per field. Anything else (and every refusal) goes the general way.
#include "db/row_check.h"
#include "exchange/exchange_convert.h"
#include "exchange/exchange_format.h"
#include "exchange/exchange_reader.h"

#include <QDate>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace tvq52 {

struct SectionConverter::FieldBytes {
    const char* begin = nullptr;
    const char* end = nullptr;
    bool quoted = false;
    bool escaped = false; // holds "" for a quote
    size_t size() const { return size_t(end - begin); }
    std::string_view view() const { return {begin, size()}; }
};

namespace {

// The bytes above 0x7F of Windows-1252 as UTF-8, decoded as the rest of the reader does.
const std::array<std::string, 128>& windows1252Utf8()
{
    static const std::array<std::string, 128> table = [] {
        std::array<std::string, 128> t;
        for (int b = 0x80; b <= 0xFF; ++b)
            t[size_t(b - 0x80)] = decodeWindows1252(QByteArray(1, char(b))).toStdString();
        return t;
    }();
    return table;
}

// The value of `count` digits at `p`, or -1.
int bytesDigits(const char* p, int count)
{
    int v = 0;
    for (int i = 0; i < count; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return -1;
        v = v * 10 + (p[i] - '0');
    }
    return v;
}

bool bytesClockTime(std::string_view t, bool seconds)
{
    if (t.size() != (seconds ? 8u : 5u) || t[2] != ':' || (seconds && t[5] != ':'))
        return false;
    const int h = bytesDigits(t.data(), 2), m = bytesDigits(t.data() + 3, 2);
    const int s = seconds ? bytesDigits(t.data() + 6, 2) : 0;
    return h >= 0 && h < 24 && m >= 0 && m < 60 && s >= 0 && s < 60;
}

struct BytesDate {
    int year = 0, month = 0, day = 0;
    char time[5] = {'0', '0', ':', '0', '0'};
};

// "yyyy-mm-dd", "yyyy/mm/dd" or "dd/mm/yyyy", alone or with " hh:nn" or " hh:nn:ss".
bool bytesDateTime(std::string_view t, BytesDate* out)
{
    if (t.size() != 10 && t.size() != 16 && t.size() != 19)
        return false;
    const char* p = t.data();
    if ((p[4] == '-' || p[4] == '/') && p[7] == p[4]) {
        out->year = bytesDigits(p, 4), out->month = bytesDigits(p + 5, 2), out->day = bytesDigits(p + 8, 2);
    } else if (p[2] == '/' && p[5] == '/') {
        out->day = bytesDigits(p, 2), out->month = bytesDigits(p + 3, 2), out->year = bytesDigits(p + 6, 4);
    } else {
        return false;
    }
    if (out->year < 1 || out->month < 0 || out->day < 0 || !QDate::isValid(out->year, out->month, out->day))
        return false;
    if (t.size() == 10)
        return true;
    if (p[10] != ' ' || !bytesClockTime(t.substr(11), t.size() == 19))
        return false;
    std::memcpy(out->time, p + 11, 5);
    return true;
}

void appendNumber(std::string& text, int value, int digits)
{
    char b[4];
    for (int i = digits - 1; i >= 0; --i, value /= 10)
        b[i] = char('0' + value % 10);
    text.append(b, size_t(digits));
}

bool bytesInteger(const ColumnDef& c, std::string_view t, qint64* out)
{
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), *out);
    if (ec != std::errc() || end != t.data() + t.size())
        return false;
    const auto [min, max] = integerRange(c.type);
    return *out >= min && *out <= max;
}

// "d.d" with at most 15 significant digits and no exponent: the digits
// make an exact double, and so does ten to a power up to 22, so one
// division rounds as from_chars would. Anything else is left to it.
bool shortDecimal(std::string_view t, double* out)
{
    static constexpr double kTens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                       1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    size_t i = t.starts_with('-') || t.starts_with('+') ? 1 : 0;
    quint64 digits = 0;
    int count = 0, fraction = -1;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (c >= '0' && c <= '9') {
            digits = digits * 10 + quint64(c - '0');
            if (++count > 15)
                return false;
            if (fraction >= 0)
                ++fraction;
        } else if ((c == ',' || c == '.') && fraction < 0 && count > 0) {
            fraction = 0;
        } else {
            return false;
        }
    }
    if (count == 0 || fraction == 0)
        return false;
    const double d = double(digits) / kTens[std::max(fraction, 0)];
    *out = t[0] == '-' ? -d : d;
    return true;
}

// As parseDecimal, for a value a single holds.
bool bytesSingle(std::string_view t, double* out)
{
    if (shortDecimal(t, out))
        return true;
    char buffer[64];
    if (t.empty() || t.size() >= sizeof buffer)
        return false;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] <= ' ' || (t[i] & 0x80))
            return false; // spaces and the like are read the general way
        buffer[i] = t[i] == ',' ? '.' : t[i];
    }
    const char* begin = buffer[0] == '+' ? buffer + 1 : buffer;
    const auto [end, ec] = std::from_chars(begin, buffer + t.size(), *out);
    return ec == std::errc() && end == buffer + t.size() && std::isfinite(*out)
        && std::fabs(*out) <= double(std::numeric_limits<float>::max());
}

bool bytesBit(std::string_view t, qint64* out)
{
    auto is = [&](const char* word) { return t.size() == std::strlen(word) && qstrnicmp(t.data(), word, t.size()) == 0; };
    if (t == "1" || t == "-1" || is("true"))
        *out = 1;
    else if (t == "0" || is("false"))
        *out = 0;
    else
        return false;
    return true;
}

} // namespace

bool SectionConverter::textBytes(int index, const FieldBytes& f, bool utf8, SinkRow& row) const
{
    const ColumnDef& c = *table_.columns[size_t(index)];
    const Special special = special_[size_t(index)];
    if (special == Special::TimeTyped)
        return false;
    if (special == Special::TextDate) {
        BytesDate d;
        if (f.size() != 10 || !bytesDateTime(f.view(), &d))
            return false;
        row.startText();
        std::string text;
        appendNumber(text, d.day, 2), text.push_back('/'), appendNumber(text, d.month, 2), text.push_back('/');
        appendNumber(text, d.year, 4);
        row.appendText(text);
        return true;
    }
    row.startText();
    const auto& high = windows1252Utf8();
    bool plain = true;
    for (const char* p = f.begin; p < f.end; ++p) {
        const auto b = static_cast<unsigned char>(*p);
        if (b == 0)
            return false; // refused the general way
        if (b == '"' && f.escaped)
            ++p; // "" is one quote
        if (b < 0x80 || utf8)
            row.appendText(char(b));
        else
            row.appendText(high[b - 0x80]);
        plain = plain && b < 0x80;
    }
    const std::string_view text = row.text(row.size() - 1);
    // A byte-order mark inside a record, or bytes that are not UTF-8, are read the general way.
    if (utf8 && !plain && (text.starts_with("\xEF\xBB\xBF") || !QByteArrayView(text.data(), qsizetype(text.size())).isValidUtf8()))
        return false;
    // A value is there, so whether the column is a key does not matter.
    return checkValue(c, ColumnRole{false, isRecordTime(c)}, StoredValue::ofText(text)) == ValueFault::None;
}

bool SectionConverter::fieldBytes(int index, const FieldBytes& f, bool utf8, SinkRow& row, char* time) const
{
    const ColumnDef& c = *table_.columns[size_t(index)];
    if (f.size() == 0) {
        if (f.quoted && c.type == ColumnType::Text)
            row.addText({});
        else
            row.addNull();
        return true;
    }
    qint64 n = 0;
    double d = 0;
    switch (c.type) {
    case ColumnType::Long:
    case ColumnType::Short:
    case ColumnType::Byte:
        if (f.escaped || !bytesInteger(c, f.view(), &n))
            return false;
        row.addInteger(n);
        return true;
    case ColumnType::Single:
        if (f.escaped || !bytesSingle(f.view(), &d))
            return false;
        row.addReal(double(float(d))); // the column holds a single
        return true;
    case ColumnType::Boolean:
        if (!bytesBit(f.view(), &n))
            return false;
        row.addInteger(n);
        return true;
    case ColumnType::Date: {
        BytesDate date;
        if (!bytesDateTime(f.view(), &date))
            return false;
        row.startText();
        std::string text;
        appendNumber(text, date.year, 4), text.push_back('-'), appendNumber(text, date.month, 2);
        text.push_back('-'), appendNumber(text, date.day, 2);
        row.appendText(text);
        if (time)
            std::memcpy(time, date.time, 5);
        return true;
    }
    case ColumnType::Text:
        return textBytes(index, f, utf8, row);
    }
    return false;
}

bool SectionConverter::convertBytes(const ExchangeRecord& record, SinkRow& row) const
{
    if (record.kind != ExchangeRecord::Kind::Fields)
        return false;
    row.clear();
    const char* p = record.raw.constData();
    const char* const end = p + record.raw.size();
    const int n = int(section_->fileColumns.size());
    char times[2][5];
    bool timed[2] = {false, false};
    for (int i = 0; i < n; ++i) {
        FieldBytes f;
        if (p < end && *p == '"') {
            f.quoted = true;
            f.begin = ++p;
            while (true) {
                const char* q = static_cast<const char*>(std::memchr(p, '"', size_t(end - p)));
                if (!q)
                    return false;
                if (q + 1 < end && q[1] == '"') {
                    f.escaped = true;
                    p = q + 2;
                    continue;
                }
                f.end = q;
                p = q + 1;
                break;
            }
        } else {
            f.begin = p;
            while (p < end && *p != ';' && *p != '"')
                ++p;
            f.end = p;
        }
        if (i + 1 < n ? (p >= end || *p != ';') : p != end)
            return false; // a quoted stretch within a field, or another count of fields
        if (i + 1 < n)
            ++p;
        char* time = i == startIndex_ ? times[0] : i == endIndex_ ? times[1] : nullptr;
        if (!fieldBytes(i, f, record.utf8, row, time))
            return false;
        if (time)
            timed[time == times[0] ? 0 : 1] = f.size() > 0;
    }
    if (section_->splitsDateTimes) {
        for (int t = 0; t < 2; ++t) {
            if (timed[t])
                row.addText(std::string_view(times[t], 5));
            else
                row.addNull();
        }
    }
    for (int k : table_.keyIndex)
        if (row.isNull(size_t(k)))
            return false;
    return true;
}

} // namespace tvq52
