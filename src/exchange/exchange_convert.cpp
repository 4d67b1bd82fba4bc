#include "exchange/exchange_convert.h"

#include "db/row_check.h"
#include "exchange/exchange_reader.h"

#include <QDate>
#include <QTime>
#include <limits>

namespace tvq52 {

namespace {

// "hh:mm" and "yyyy-mm-dd" without the calendar's formatting machinery.
QString twoDigits(int v)
{
    const QChar digits[2] = {QChar(char16_t(u'0' + v / 10)), QChar(char16_t(u'0' + v % 10))};
    return QString(digits, 2);
}

QString hhmm(const QTime& t)
{
    return twoDigits(t.hour()) + QLatin1Char(':') + twoDigits(t.minute());
}

QString isoDate(const QDate& d)
{
    return QString::number(d.year()).rightJustified(4, QLatin1Char('0')) + QLatin1Char('-') + twoDigits(d.month())
        + QLatin1Char('-') + twoDigits(d.day());
}

Refusal::Kind refusalKind(ValueFault fault)
{
    switch (fault) {
    case ValueFault::OutOfRange:
        return Refusal::Kind::OutOfRange;
    case ValueFault::NotADate:
        return Refusal::Kind::NotADate;
    case ValueFault::NotATime:
        return Refusal::Kind::NotATime;
    case ValueFault::NotABit:
        return Refusal::Kind::NotABit;
    case ValueFault::TooLong:
        return Refusal::Kind::TooLong;
    case ValueFault::NoKey:
        return Refusal::Kind::NoKey;
    case ValueFault::ControlCharacter:
        return Refusal::Kind::ControlCharacter;
    case ValueFault::None:
    case ValueFault::WrongType:
        break;
    }
    return Refusal::Kind::NotANumber;
}

} // namespace

SectionConverter::SectionConverter(const ExchangeSection& section, SqlDialect dialect)
    : section_(&section), dialect_(dialect)
{
    const TableDef& t = *section.table;
    QStringList names = section.fileColumns;
    if (section.splitsDateTimes)
        names << QStringLiteral("THoraInicio") << QStringLiteral("THoraFinal");
    const bool inhabil = section.name == QLatin1String("IntervaloInhabil");
    table_.table = &t;
    for (const QString& n : names) {
        table_.columns.push_back(t.column(n));
        if (inhabil && (n == QLatin1String("THoraEmpiezaInt") || n == QLatin1String("THoraTerminaInt")))
            special_.push_back(Special::TimeTyped);
        else if (n == QLatin1String("TFechaMaxLeq1min") || n == QLatin1String("TFechaMinLeq1min"))
            special_.push_back(Special::TextDate);
        else
            special_.push_back(Special::None);
    }
    startIndex_ = int(names.indexOf(QStringLiteral("DFechaInicio")));
    endIndex_ = int(names.indexOf(QStringLiteral("DFechaFinal")));
    startTimeIndex_ = int(names.indexOf(QStringLiteral("THoraInicio")));
    endTimeIndex_ = int(names.indexOf(QStringLiteral("THoraFinal")));
    for (const char* k : t.key)
        table_.keyIndex.push_back(int(names.indexOf(QString::fromUtf8(k))));
}

std::optional<Refusal::Kind> SectionConverter::readField(int index, const QString& text, bool quoted,
                                                         QVariant* out) const
{
    const ColumnDef& c = *table_.columns[size_t(index)];
    if (text.isEmpty()) {
        *out = quoted && c.type == ColumnType::Text ? QVariant(QString(QLatin1String(""))) : QVariant();
        return std::nullopt;
    }
    // A number, a date or a time holds no control character: the readings
    // below would stop at a NUL and take the digits before it.
    const Special special = special_[size_t(index)];
    if (c.type != ColumnType::Text || special != Special::None || isRecordTime(c))
        if (controlCharacterAt(text) >= 0)
            return Refusal::Kind::ControlCharacter;
    switch (c.type) {
    case ColumnType::Long:
    case ColumnType::Short:
    case ColumnType::Byte: {
        const std::optional<qint64> v =
            parseInteger(text, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
        if (!v)
            return Refusal::Kind::NotANumber;
        *out = QVariant(qlonglong(*v));
        return std::nullopt;
    }
    case ColumnType::Single: {
        const std::optional<double> v = parseDecimal(text);
        if (!v)
            return Refusal::Kind::NotANumber;
        *out = QVariant(*v);
        return std::nullopt;
    }
    case ColumnType::Boolean: {
        const std::optional<bool> v = parseBit(text);
        if (!v)
            return Refusal::Kind::NotABit;
        *out = QVariant(*v ? 1 : 0);
        return std::nullopt;
    }
    case ColumnType::Date: {
        const std::optional<DateTimeField> v = parseDateTime(text);
        if (!v)
            return Refusal::Kind::NotADate;
        *out = QVariant(isoDate(v->date));
        return std::nullopt;
    }
    case ColumnType::Text:
        return readText(index, text, out);
    }
    return Refusal::Kind::NotANumber;
}

std::optional<Refusal::Kind> SectionConverter::readText(int index, const QString& text, QVariant* out) const
{
    QString v = text;
    const Special special = special_[size_t(index)];
    if (special == Special::TimeTyped) {
        // Stored as the programming window stores what was typed. A time
        // written as a date-time keeps only its time.
        if (const std::optional<DateTimeField> at = parseDateTime(text); at && at->hasTime)
            v = hhmm(at->time);
        else if (const std::optional<QTime> t = parseTimeOfDay(text))
            v = hhmm(*t);
        else
            return Refusal::Kind::NotATime;
    } else if (special == Special::TextDate) {
        // The text dates are kept as the download stores them.
        if (const std::optional<DateTimeField> at = parseDateTime(text)) {
            const QDate d = at->date;
            v = twoDigits(d.day()) + QLatin1Char('/') + twoDigits(d.month()) + QLatin1Char('/')
                + QString::number(d.year()).rightJustified(4, QLatin1Char('0'));
        }
    }
    *out = v;
    return std::nullopt;
}

std::optional<Refusal> SectionConverter::convert(const ExchangeRecord& record, QVariantList& values) const
{
    Refusal why;
    why.line = record.line;
    const qsizetype expected = section_->fileColumns.size();
    if (record.kind == ExchangeRecord::Kind::TooLong) {
        why.kind = Refusal::Kind::LineTooLong;
        why.column = QString::number(longestRowBytes(*section_));
        return why;
    }
    if (record.kind == ExchangeRecord::Kind::Cut) {
        why.kind = Refusal::Kind::CutLine;
        return why;
    }
    if (record.fields.size() != expected) {
        why.kind = record.unterminated ? Refusal::Kind::CutLine : Refusal::Kind::FieldCount;
        why.column = record.fields.size() > expected ? QStringLiteral(">%1").arg(expected)
                                                     : QStringLiteral("%1/%2").arg(record.fields.size()).arg(expected);
        return why;
    }
    return convertFields(record, values);
}

std::optional<Refusal> SectionConverter::convertFields(const ExchangeRecord& record, QVariantList& values) const
{
    const QStringList& fields = record.fields;
    values.resize(qsizetype(table_.columns.size()));
    const int n = int(section_->fileColumns.size());
    for (int i = 0; i < n; ++i) {
        QVariant& v = values[i];
        const ColumnDef& c = *table_.columns[size_t(i)];
        std::optional<Refusal::Kind> fault =
            readField(i, fields[i], size_t(i) < record.quoted.size() && record.quoted[size_t(i)], &v);
        if (!fault)
            if (const ValueFault stored = checkStoredValue(*section_->table, c, v); stored != ValueFault::None)
                fault = refusalKind(stored);
        if (fault == Refusal::Kind::ControlCharacter) {
            // A text is refused for a NUL only; other fields for any control.
            const qsizetype nul = fields[i].indexOf(QChar(0));
            const QChar control = fields[i].at(nul >= 0 ? nul : controlCharacterAt(fields[i]));
            return Refusal{*fault, record.line, QString::fromUtf8(c.name),
                           QStringLiteral("U+%1").arg(uint(control.unicode()), 4, 16, QLatin1Char('0')).toUpper()};
        }
        if (fault)
            return Refusal{*fault, record.line, QString::fromUtf8(c.name), fields[i]};
        if (v.isNull())
            continue;
        if (c.type == ColumnType::Single)
            v = QVariant(double(float(v.toDouble()))); // the column holds a single
        else if (c.type == ColumnType::Long || c.type == ColumnType::Short || c.type == ColumnType::Byte)
            v = QVariant(int(v.toLongLong()));
        else if (c.type == ColumnType::Date && dialect_ != SqlDialect::SQLite)
            v = toStorage(c, v, dialect_);
    }
    if (section_->splitsDateTimes) {
        for (auto [from, to] : {std::pair{startIndex_, startTimeIndex_}, std::pair{endIndex_, endTimeIndex_}}) {
            const std::optional<DateTimeField> at = parseDateTime(fields[from]);
            values[to] = at ? QVariant(hhmm(at->time)) : QVariant();
        }
    }
    for (int k : table_.keyIndex)
        if (values[k].isNull())
            return Refusal{Refusal::Kind::NoKey, record.line, QString::fromUtf8(table_.columns[size_t(k)]->name), {}};
    return std::nullopt;
}

} // namespace tvq52
