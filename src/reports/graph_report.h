#pragma once

#include "reports/report.h"

#include <QDateTime>
#include <QImage>

namespace tvq52 {

class Database;
class Translator;

// The graph window's print: the unit's programming as the programming
// report prints it, then the level and event charts as pictures, and the
// exchange journal's chain head in the footer of every page, beside `footer`.
// [from, to] are the starts of the intervals the charts show: the footer's
// digest covers them.
Result<RenderedReport> buildGraphReport(Database& db, const Translator& translator, const QString& templatePath,
                                        qint32 serial, const QString& firmware, const QImage& levels,
                                        const QImage& events, const QString& footer, const QDateTime& from,
                                        const QDateTime& to);

} // namespace tvq52
