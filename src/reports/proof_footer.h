#pragma once

#include "core/error.h"
#include "reports/report.h"
#include "reports/shown_records.h"

#include <QStringList>

namespace tvq52 {

class Database;
class Translator;

// The footer's two statements, in the translator's language: the digest of the
// records shown with their count, and the journal's head.
QString proofDigestCaption(const Translator& translator, const ReportProof& proof);
QString proofHeadCaption(const Translator& translator);
QString proofHeadText(const ReportProof& proof);

// Reads the records of `scope` into a proof, writes it into the template's
// footer fields (TCadena/Cadena, THuella/Huella), lays the report out and
// keeps the proof with it, to be checked again after printing.
Result<RenderedReport> renderWithProof(Database& database, const Translator& translator, Report& report,
                                       const ReportSources& sources, const ReportScope& scope);

} // namespace tvq52
