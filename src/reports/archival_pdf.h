#pragma once

#include "core/error.h"
#include "evidence/report_proof.h"

#include <QIODevice>
#include <QString>
#include <functional>
#include <optional>

class QPdfWriter;

namespace tvq52 {

class Signer;

// Between the PDF writer and its file: holds the start of the file back
// until the Info dictionary's creation date has gone by, then writes that
// same instant, in UTC, into the metadata's date slots (written with
// kDatePlaceholder, of the same length, so that no offset moves). The date
// is the writer's own, however late in its second the page began.
class CreationDateStamp : public QIODevice {
public:
    static constexpr char kDatePlaceholder[] = "0000-00-00T00:00:00Z";

    // `dateSlots`: how many placeholders the metadata holds.
    CreationDateStamp(QIODevice& target, int dateSlots);
    bool isSequential() const override { return true; }
    // Hands on what is still held back; false when the target fails.
    bool finish();
    // Whether the date went into every slot; empty until it did.
    QString stampedDate() const { return stamped_; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    bool stamp();

    QIODevice& target_;
    QByteArray held_;
    int slots_;
    bool holding_ = true;
    QString stamped_;
};

// What the file says of itself besides its pages.
struct ArchivalPdf {
    QString title;
    std::optional<ReportProof> proof;
    // Signs the file whole once written; null: the file stays unsigned.
    Signer* signer = nullptr;
};

// Paints the pages; `writing` turns false once the file failed. An error of
// its own (a source that failed) is returned as it is.
using PdfPainting = std::function<Status(QPdfWriter& writer, const std::function<bool()>& writing)>;
// The error for a file that cannot be written, from the system's reason
// (empty when there is none).
using PdfFailure = std::function<Error(const QString& why)>;

// Writes a PDF/A-1b file with its proof in the metadata, through a file
// beside the target that takes its place only when whole (and signed, with
// a signer): a full disk, a failed write or a key that does not sign leaves
// any earlier file as it was; a target that is no regular file is refused
// untouched.
Status writeArchivalPdf(const QString& path, const ArchivalPdf& pdf, const PdfPainting& paint,
                        const PdfFailure& failure);

} // namespace tvq52
