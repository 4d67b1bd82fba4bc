#pragma once

#include "reports/report.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace tvq52 {

class Database;
class Translator;
class Prompter;

// The reports of a unit's recorded data over a range of start times.
enum class RecordedReportKind { Intervals, Sessions, Exceedances };

struct RecordedReportRequest {
    RecordedReportKind kind = RecordedReportKind::Intervals;
    qint32 serial = 0;
    QDateTime from, to; // starts in [from, to]
    QString footer;     // the user's footer text, printed as it is (empty too)
    QString assetFolder;
};

// The report laid out, or nothing for a session report over a range
// without sessions: nothing to print.
using RecordedReportResult = Result<std::optional<RenderedReport>>;

// Loads the kind's template, binds its record sources to the unit and the
// range, fills its captions in the translator's language and lays it out. The
// same code serves the report window and the command line.
RecordedReportResult buildRecordedReport(Database& database, const Translator& translator,
                                         const RecordedReportRequest& request);

// The template file and report name of a kind.
QString recordedReportFile(RecordedReportKind kind);
QString recordedReportName(RecordedReportKind kind);
// What a kind of report is called, in the native words ("Intervalos").
QString recordedReportTitle(RecordedReportKind kind);
// The title a PDF of a unit's report carries: "TVQ-52 4711: Intervals",
// the name `nativeName` in the translator's language.
QString reportDocumentTitle(const Translator& translator, const QString& nativeName, qint32 serial);

} // namespace tvq52
