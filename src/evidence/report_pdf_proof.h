#pragma once

#include "core/error.h"
#include "evidence/report_proof.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace tvq52 {

// The namespace the program's own metadata is kept under in a PDF.
inline constexpr char kProofNamespace[] = "http://tvq52.org/ns/report-proof/1.0/";

// What a PDF's Info dictionary says, which its metadata must repeat.
struct PdfFacts {
    QString title;
    QString creator;
    QString producer;
    // As the metadata writes a date: "2026-12-07T14:55:17Z".
    QString created;
};

// The XMP packet of an archival PDF: the facts, the archival level, and
// the proof with the declaration of its properties when there is one.
QByteArray reportXmp(const PdfFacts& facts, const std::optional<ReportProof>& proof);

// The proof kept in the metadata of a PDF the program wrote. Only the start
// of the file is read, where the metadata is in ours: a file of any size
// costs a few megabytes at most.
Result<ReportProof> readReportProof(const QString& pdfPath);

// The proof in an XMP packet; the error names what is wrong with it.
Result<ReportProof> proofFromXmp(const QByteArray& packet);

} // namespace tvq52
