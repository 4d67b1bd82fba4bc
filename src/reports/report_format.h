#pragma once

#include <QString>
#include <QVariant>

namespace tvq52 {

// A record value as a report prints it. Formats: "date" (dd/mm/yyyy in every
// language), "time" (hh:mm), "datetime", "0", "0.0", "0.00" (fixed decimals),
// "#.00" (two decimals, no leading zero), "00" (zero-padded); none prints a
// number as stored, a single-precision level as its shortest text (75.3).
QString formatReportValue(const QVariant& value, const QString& format);

// A stored date ("yyyy-mm-dd", a QDate or a QDateTime) as "dd/mm/yyyy";
// other text unchanged.
QString reportDate(const QVariant& value);

// The shortest text of a level kept in single precision: 75.3, 75, 59.9.
QString levelText(double level);

} // namespace tvq52
