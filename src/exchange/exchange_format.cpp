#include "exchange/exchange_format.h"

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

bool allDigits(QStringView s)
{
    for (QChar c : s)
        if (!c.isDigit())
            return false;
    return !s.isEmpty();
}

} // namespace

const std::vector<ExchangeSection>& exchangeSections()
{
    static const std::vector<ExchangeSection> sections = makeSections();
    return sections;
}

const ExchangeSection* exchangeSection(const QString& name)
{
    for (const ExchangeSection& s : exchangeSections())
        if (s.name == name)
            return &s;
    return nullptr;
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

QStringList splitFields(const QString& record)
{
    if (!record.contains(QLatin1Char('"')))
        return record.split(QLatin1Char(';'));
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < record.size(); ++i) {
        const QChar c = record.at(i);
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < record.size() && record.at(i + 1) == u'"') {
                    field.append(u'"');
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field.append(c);
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u';') {
            fields.append(field);
            field.clear();
        } else {
            field.append(c);
        }
    }
    fields.append(field);
    return fields;
}

QString quoteField(const QString& text)
{
    QString q = text;
    q.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

bool parseInteger(const QString& text, qint64 min, qint64 max, qint64* out)
{
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok);
    if (!ok || v < min || v > max)
        return false;
    *out = v;
    return true;
}

bool parseDecimal(const QString& text, double* out)
{
    // Read without the locale machinery: a million rows carry tens of
    // millions of these.
    const QStringView t = QStringView(text).trimmed();
    char buffer[64];
    if (t.isEmpty() || t.size() >= qsizetype(sizeof buffer))
        return false;
    qsizetype n = 0;
    for (QChar c : t) {
        const char16_t u = c.unicode();
        if (u > 0x7F)
            return false;
        buffer[n++] = u == u',' ? '.' : char(u);
    }
    const char* begin = buffer[0] == '+' ? buffer + 1 : buffer;
    double v = 0;
    const auto [end, ec] = std::from_chars(begin, buffer + n, v);
    if (ec != std::errc() || end != buffer + n || !std::isfinite(v)
        || std::fabs(v) > double(std::numeric_limits<float>::max()))
        return false;
    *out = v;
    return true;
}

bool parseBit(const QString& text, bool* out)
{
    const QString t = text.trimmed();
    if (t == QLatin1String("1") || t == QLatin1String("-1")
        || t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        *out = true;
    else if (t == QLatin1String("0") || t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        *out = false;
    else
        return false;
    return true;
}

bool parseTimeOfDay(const QString& text, QTime* out)
{
    const QString t = text.trimmed();
    const QStringList parts = t.split(QLatin1Char(':'));
    if (parts.size() < 2 || parts.size() > 3)
        return false;
    for (const QString& p : parts)
        if (p.size() != 2 || !allDigits(p))
            return false;
    const QTime time(parts[0].toInt(), parts[1].toInt(), parts.size() == 3 ? parts[2].toInt() : 0);
    if (!time.isValid())
        return false;
    *out = time;
    return true;
}

bool parseDateTime(const QString& text, QDate* date, QTime* time, bool* hasTime)
{
    const QString t = text.trimmed();
    const qsizetype space = t.indexOf(QLatin1Char(' '));
    const QString d = space < 0 ? t : t.left(space);
    QDate parsed;
    if (d.size() == 10 && (d[4] == u'-' || d[4] == u'/') && d[7] == d[4] && allDigits(QStringView(d).left(4))
        && allDigits(QStringView(d).mid(5, 2)) && allDigits(QStringView(d).mid(8, 2)))
        parsed = QDate(d.left(4).toInt(), d.mid(5, 2).toInt(), d.mid(8, 2).toInt());
    else if (d.size() == 10 && d[2] == u'/' && d[5] == u'/' && allDigits(QStringView(d).left(2))
             && allDigits(QStringView(d).mid(3, 2)) && allDigits(QStringView(d).mid(6, 4)))
        parsed = QDate(d.mid(6, 4).toInt(), d.mid(3, 2).toInt(), d.left(2).toInt());
    if (!parsed.isValid())
        return false;
    QTime tm(0, 0);
    if (space >= 0 && !parseTimeOfDay(t.mid(space + 1), &tm))
        return false;
    *date = parsed;
    *time = tm;
    *hasTime = space >= 0;
    return true;
}

} // namespace tvq52
