#pragma once

#include "db/schema.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QVariant>
#include <optional>
#include <vector>

namespace tvq52 {

// One section of an exchange file: the table it fills and its columns in the
// order the file carries them.
struct ExchangeSection {
    const TableDef* table = nullptr;
    QString name;
    QStringList fileColumns;
    // Start and end date-times in the file carry the key's times too.
    bool splitsDateTimes = false;
};

// True when the name is an exchange file's (".TQ52" in any case).
bool isExchangeFileName(const QString& name);

// The seven sections in the order they are written and imported.
const std::vector<ExchangeSection>& exchangeSections();
const ExchangeSection* exchangeSection(const QString& name); // in any case

// The most bytes a legal row of the section can take without its line end,
// in either encoding, however its fields are written; and the most of any
// section, for lines outside them.
qint64 longestRowBytes(const ExchangeSection& section);
qint64 longestRowBytes();

// The text of an exchange file. Windows-1252 unless the file opens with a
// UTF-8 byte-order mark.
QString decodeWindows1252(const QByteArray& bytes);
// Characters Windows-1252 cannot hold become "?".
QByteArray encodeWindows1252(const QString& text);

// Splits one record (its line end already removed) at the ";" that are not
// inside double quotes; "" in a quoted field is one quote. Stops after
// `maxFields` fields (the rest is not split); `quoted` tells for each field
// whether it was written between quotes.
QStringList splitFields(const QString& record, qsizetype maxFields = -1, std::vector<bool>* quoted = nullptr);
QString quoteField(const QString& text);

// How the export writes a single: the shortest text that the import (which
// reads a double, then keeps a single) reads back to the same single, 32.9
// rather than 32.9000015. Appends it to `out`.
void appendSingle(QByteArray& out, float value);

// Readings of one field text; each is empty when the text is not of the
// kind (the empty text is handled by the caller).
std::optional<qint64> parseInteger(const QString& text, qint64 min, qint64 max);
std::optional<double> parseDecimal(const QString& text); // "." or ","
std::optional<bool> parseBit(const QString& text);       // 1/0, -1/0, True/False
// A date, with the time of day it gave (midnight when none).
struct DateTimeField {
    QDate date;
    QTime time;
    bool hasTime = false;
};
// "yyyy-mm-dd", "yyyy/mm/dd" or "dd/mm/yyyy", then optionally " hh:nn" or " hh:nn:ss".
std::optional<DateTimeField> parseDateTime(const QString& text);
std::optional<QTime> parseTimeOfDay(const QString& text); // "hh:nn" or "hh:nn:ss"

} // namespace tvq52
