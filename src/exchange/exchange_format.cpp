#include "exchange/exchange_format.h"

#include "db/row_check.h"

#include <QDate>
#include <QTime>
#include <charconv>
#include <cmath>
#include <limits>

namespace tvq52 {

namespace {

// The bytes 0x80..0x9F, where Windows-1252 differs from Latin-1; 0 where the
// code page leaves the byte unassigned (read as the same code point).
constexpr char16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                                0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::vector<ExchangeSection> makeSections()
{
    std::vector<ExchangeSection> sections;
    for (const char* name : {"DiaBorrado", "DiaFinalBateria", "DiaReprogramado", "IntervaloInhabil", "Intervalos",
                             "Programacion", "Sesiones"}) {
        ExchangeSection s;
        s.name = QString::fromLatin1(name);
        s.table = schemaTable(s.name);
        s.fileColumns = s.table->columnNames();
        s.splitsDateTimes = s.fileColumns.contains(QStringLiteral("THoraInicio"));
        // The times live inside the date-time columns of the file.
        s.fileColumns.removeAll(QStringLiteral("THoraInicio"));
        s.fileColumns.removeAll(QStringLiteral("THoraFinal"));
        sections.push_back(std::move(s));
    }
    return sections;
}

} // namespace

bool isExchangeFileName(const QString& name)
{
    return name.right(5).toUpper() == QLatin1String(".TQ52");
}

const std::vector<ExchangeSection>& exchangeSections()
{
    static const std::vector<ExchangeSection> sections = makeSections();
    return sections;
}

const ExchangeSection* exchangeSection(const QString& name)
{
    for (const ExchangeSection& s : exchangeSections())
        if (s.name.compare(name, Qt::CaseInsensitive) == 0)
            return &s;
    return nullptr;
}

qint64 longestRowBytes(const ExchangeSection& section)
{
    // Blanks around a field are allowed (they are trimmed).
    constexpr qint64 kBlanks = 16;
    qint64 bytes = 0;
    for (const QString& name : section.fileColumns) {
        const ColumnDef& c = *section.table->column(name);
        qint64 field = 0;
        switch (c.type) {
        case ColumnType::Long:
        case ColumnType::Short:
        case ColumnType::Byte:
            field = 20;
            break;
        case ColumnType::Single:
            field = 63; // what parseDecimal reads
            break;
        case ColumnType::Boolean:
            field = 5;
            break;
        case ColumnType::Date:
            field = 19; // "yyyy-mm-dd hh:nn:ss"
            break;
        case ColumnType::Text:
            // Quoted with every character a doubled quote, three bytes each
            // in UTF-8; a time may come as a date-time.
            field = 2 + 2 * 3 * qint64(std::max(maxTextChars(c), 19));
            break;
        }
        bytes += field + kBlanks + 1; // and its ";"
    }
    return bytes;
}

qint64 longestRowBytes()
{
    static const qint64 longest = [] {
        qint64 n = 0;
        for (const ExchangeSection& s : exchangeSections())
            n = std::max(n, longestRowBytes(s));
        return n;
    }();
    return longest;
}

QString decodeWindows1252(const QByteArray& bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* d = out.data();
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        char16_t u = b;
        if (b >= 0x80 && b <= 0x9F && kHigh[b - 0x80] != 0)
            u = kHigh[b - 0x80];
        *d++ = QChar(u);
    }
    return out;
}

QByteArray encodeWindows1252(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        char b = '?';
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            b = static_cast<char>(u);
        } else {
            for (int i = 0; i < 32; ++i)
                if (kHigh[i] == u && u != 0)
                    b = static_cast<char>(0x80 + i);
        }
        out.append(b);
    }
    return out;
}

QStringList splitFields(const QString& record, qsizetype maxFields, std::vector<bool>* quoted)
{
    if (quoted)
        quoted->clear();
    QStringList fields;
    const qsizetype n = record.size();
    if (!record.contains(QLatin1Char('"'))) {
        qsizetype from = 0;
        while (maxFields < 0 || fields.size() < maxFields) {
            const qsizetype semi = record.indexOf(QLatin1Char(';'), from);
            fields.append(record.mid(from, semi < 0 ? n - from : semi - from));
            if (semi < 0)
                break;
            from = semi + 1;
        }
        if (quoted)
            quoted->assign(size_t(fields.size()), false);
        return fields;
    }
    qsizetype i = 0;
    while (maxFields < 0 || fields.size() < maxFields) {
        QString field;
        bool wasQuoted = false;
        // A field may mix quoted and unquoted stretches; whole stretches are
        // copied at once.
        while (i < n && record.at(i) != u';') {
            if (record.at(i) == u'"') {
                wasQuoted = true;
                ++i;
                while (i < n) {
                    const qsizetype close = record.indexOf(QLatin1Char('"'), i);
                    if (close < 0) {
                        field += QStringView(record).mid(i);
                        i = n;
                        break;
                    }
                    field += QStringView(record).mid(i, close - i);
                    i = close + 1;
                    if (i < n && record.at(i) == u'"') {
                        field += u'"';
                        ++i;
                    } else {
                        break;
                    }
                }
            } else {
                qsizetype end = i;
                while (end < n && record.at(end) != u';' && record.at(end) != u'"')
                    ++end;
                field += QStringView(record).mid(i, end - i);
                i = end;
            }
        }
        fields.append(field);
        if (quoted)
            quoted->push_back(wasQuoted);
        if (i >= n)
            break;
        ++i; // the ";"
    }
    return fields;
}

QString quoteField(const QString& text)
{
    QString q = text;
    q.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

void appendSingle(QByteArray& out, float value)
{
    char text[48];
    char* end = std::to_chars(text, text + sizeof text, value).ptr;
    double back = 0;
    const auto read = std::from_chars(text, end, back);
    // The shortest text may still read back as a double beyond the largest
    // single, which the import refuses; the single's own value as a double
    // always reads back exactly.
    if (read.ec != std::errc() || float(back) != value || std::fabs(back) > double(std::numeric_limits<float>::max()))
        end = std::to_chars(text, text + sizeof text, double(value)).ptr;
    out.append(text, end - text);
}

std::optional<qint64> parseInteger(const QString& text, qint64 min, qint64 max)
{
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok);
    if (!ok || v < min || v > max)
        return std::nullopt;
    return v;
}

std::optional<double> parseDecimal(const QString& text)
{
    // Read without the locale machinery: a million rows carry tens of
    // millions of these.
    const QStringView t = QStringView(text).trimmed();
    char buffer[64];
    if (t.isEmpty() || t.size() >= qsizetype(sizeof buffer))
        return std::nullopt;
    qsizetype n = 0;
    for (QChar c : t) {
        const char16_t u = c.unicode();
        if (u > 0x7F)
            return std::nullopt;
        buffer[n++] = u == u',' ? '.' : char(u);
    }
    const char* begin = buffer[0] == '+' ? buffer + 1 : buffer;
    double v = 0;
    const auto [end, ec] = std::from_chars(begin, buffer + n, v);
    // How large a value its column may take is checked with the row.
    if (ec != std::errc() || end != buffer + n || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<bool> parseBit(const QString& text)
{
    const QString t = text.trimmed();
    if (t == QLatin1String("1") || t == QLatin1String("-1")
        || t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (t == QLatin1String("0") || t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

namespace {

// The value of `count` digits at `at`, or -1.
int digitsAt(QStringView s, qsizetype at, qsizetype count)
{
    if (at + count > s.size())
        return -1;
    int v = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        const char16_t c = s[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        v = v * 10 + (c - u'0');
    }
    return v;
}

std::optional<QTime> timeOf(QStringView t)
{
    if ((t.size() != 5 && t.size() != 8) || t[2] != u':' || (t.size() == 8 && t[5] != u':'))
        return std::nullopt;
    const int h = digitsAt(t, 0, 2), m = digitsAt(t, 3, 2), sec = t.size() == 8 ? digitsAt(t, 6, 2) : 0;
    if (h < 0 || m < 0 || sec < 0 || !QTime::isValid(h, m, sec))
        return std::nullopt;
    return QTime(h, m, sec);
}

} // namespace

std::optional<QTime> parseTimeOfDay(const QString& text)
{
    return timeOf(QStringView(text).trimmed());
}

std::optional<DateTimeField> parseDateTime(const QString& text)
{
    const QStringView t = QStringView(text).trimmed();
    const qsizetype space = t.indexOf(u' ');
    const QStringView d = space < 0 ? t : t.left(space);
    if (d.size() != 10)
        return std::nullopt;
    int y = -1, m = -1, day = -1;
    if ((d[4] == u'-' || d[4] == u'/') && d[7] == d[4]) {
        y = digitsAt(d, 0, 4), m = digitsAt(d, 5, 2), day = digitsAt(d, 8, 2);
    } else if (d[2] == u'/' && d[5] == u'/') {
        day = digitsAt(d, 0, 2), m = digitsAt(d, 3, 2), y = digitsAt(d, 6, 4);
    }
    if (y < 0 || m < 0 || day < 0 || !QDate::isValid(y, m, day))
        return std::nullopt;
    DateTimeField field{QDate(y, m, day), QTime(0, 0), space >= 0};
    if (field.hasTime) {
        const std::optional<QTime> time = timeOf(t.mid(space + 1).trimmed());
        if (!time)
            return std::nullopt;
        field.time = *time;
    }
    return field;
}

} // namespace tvq52
