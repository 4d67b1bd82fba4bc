#pragma once

#include "reports/report.h"
#include "reports/report_store.h"

#include <QDate>
#include <QString>
#include <variant>
#include <vector>

namespace tvq52 {

class Database;
class Translator;

// The non-working intervals in use, two to a line: "01 - 01/08/2024 00:00 <->
// 15/08/2024 23:59     ,     02 - ...\r". Years are printed with four digits.
// " " when none is in use.
QString nonWorkingIntervalListing(const std::vector<StoredNonWorkingInterval>& intervals);

// What the report computes from the stored programming rather than binding it.
struct ProgrammingReportData {
    qint32 serial = 0;
    QString intervalTotals; // date and time of the last totals reading
    QString intervalListing;
    QString footerText;      // the caller's: every report prints the same one
    QString neighbourAction; // stored action type; "0" means none
    bool clockChange = false;
    bool globalCorrection = false;
    QVariant octave31;
    bool showGlobalCorrection = false; // firmware 4.0 or later
    QDate today;
};

// Reads the stored row and intervals of unit `serial` and writes the listing
// into the settings row's memo. `firmware` is the version shown ("3.3"); empty
// takes the stored one.
Result<ProgrammingReportData> readProgrammingReportData(Database& db, qint32 serial, const QString& firmware);

// The serial bound for the record sources (the programming row and the
// three event-date lists) and every computed and caption field of the programming part,
// which the recorded-data and graph reports share.
void fillProgrammingFields(Report& report, const Translator& translator, const ProgrammingReportData& data);

// Report `reportName` of the template with its programming part filled for
// unit `serial`: the programming report, and the first part of the graph report.
Result<std::unique_ptr<Report>> loadWithProgrammingPart(Database& db, const Translator& translator,
                                                        const QString& templatePath, const QString& reportName,
                                                        qint32 serial, const QString& firmware, const QString& footer);

// The programming report of unit `serial`, laid out, with `footer` at the foot.
Result<RenderedReport> buildProgrammingReport(Database& db, const Translator& translator, const QString& templatePath,
                                              qint32 serial, const QString& firmware, const QString& footer);

// "4.0" or later: the global-correction pair is printed.
bool firmwareHasGlobalCorrection(const QString& firmware);

} // namespace tvq52
