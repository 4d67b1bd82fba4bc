#include "reports/archival_pdf.h"

#include "core/regular_file.h"
#include "evidence/report_pdf_proof.h"
#include "reports/signed_pdf.h"

#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>

namespace tvq52 {

namespace {

// The Info dictionary and the metadata are a few kilobytes at the start:
// a file that shows neither by then is passed on as it is, and fails.
constexpr qsizetype kMostHeld = 1024 * 1024;

// Passes the file on and keeps a copy of it: a signature covers it all,
// and the file being written cannot be read back.
class KeptBytes : public QIODevice {
public:
    explicit KeptBytes(QIODevice& target) : target_(target) {}
    bool isSequential() const override { return true; }
    QByteArray bytes;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (target_.write(data, size) != size)
            return -1;
        bytes.append(data, size);
        return size;
    }

private:
    QIODevice& target_;
};

} // namespace

CreationDateStamp::CreationDateStamp(QIODevice& target, int dateSlots) : target_(target), slots_(dateSlots) {}

qint64 CreationDateStamp::writeData(const char* data, qint64 size)
{
    if (!holding_)
        return target_.write(data, size) == size ? size : -1;
    held_.append(data, size);
    if (stamp() || held_.size() > kMostHeld) {
        holding_ = false;
        const bool written = target_.write(held_) == held_.size();
        held_.clear();
        if (!written)
            return -1;
    }
    return size;
}

bool CreationDateStamp::finish()
{
    holding_ = false;
    const bool written = held_.isEmpty() || target_.write(held_) == held_.size();
    held_.clear();
    return written;
}

bool CreationDateStamp::stamp()
{
    // D:YYYYMMDDHHmmSS then Z, an offset +HH'mm', or nothing (taken as UTC).
    static const QRegularExpression info(QStringLiteral(R"(/CreationDate \(D:(\d{14})(Z|([+-])(\d\d)'(\d\d)')?\))"));
    const QString text = QString::fromLatin1(held_);
    const QRegularExpressionMatch date = info.match(text);
    if (!date.hasMatch())
        return false;
    const QByteArray slot = QByteArray(">") + kDatePlaceholder + "<";
    QList<qsizetype> places;
    for (qsizetype at = held_.indexOf(slot, date.capturedEnd()); at >= 0 && places.size() < slots_;
         at = held_.indexOf(slot, at + slot.size()))
        places << at + 1;
    if (places.size() < slots_)
        return false;
    QDateTime at = QDateTime::fromString(date.captured(1), QStringLiteral("yyyyMMddHHmmss"));
    at.setTimeSpec(Qt::UTC);
    if (!date.captured(3).isEmpty()) {
        const int offset = (date.captured(4).toInt() * 60 + date.captured(5).toInt()) * 60;
        at = at.addSecs(date.captured(3) == QLatin1String("+") ? -offset : offset);
    }
    const QByteArray utc = at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")).toLatin1();
    if (!at.isValid() || utc.size() != qsizetype(sizeof kDatePlaceholder) - 1)
        return false;
    for (qsizetype place : places)
        held_.replace(place, utc.size(), utc);
    stamped_ = QString::fromLatin1(utc);
    return true;
}

Status writeArchivalPdf(const QString& path, const ArchivalPdf& pdf, const PdfPainting& paint,
                        const PdfFailure& failure)
{
    // The file put in its place would replace a FIFO or a device.
    if (isNonRegularFile(path))
        return nonRegularFileError(path, FileUse::Write);
    QSaveFile file(path);
    const auto failed = [&] {
        return Status(failure(file.error() == QFileDevice::NoError ? QString() : file.errorString()));
    };
    if (!file.open(QIODevice::WriteOnly))
        return failed();
    // Qt's packet says what its Info dictionary says; ours replaces it and
    // must say the same: the creation and modification dates are stamped.
    KeptBytes kept(file);
    kept.open(QIODevice::WriteOnly);
    CreationDateStamp stamp(pdf.signer ? static_cast<QIODevice&>(kept) : file, 2);
    stamp.open(QIODevice::WriteOnly);
    const QString creator = QStringLiteral("TVQ-52 Manager");
    Status painted;
    {
        QPdfWriter writer(&stamp);
        writer.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
        writer.setTitle(pdf.title);
        writer.setCreator(creator);
        // The running Qt names itself in the Info dictionary.
        writer.setDocumentXmpMetadata(reportXmp({pdf.title, creator, QStringLiteral("Qt ") + QLatin1String(qVersion()),
                                                 QLatin1String(CreationDateStamp::kDatePlaceholder)},
                                                pdf.proof));
        painted = paint(writer, [&file] { return file.error() == QFileDevice::NoError; });
    }
    const bool whole = stamp.finish() && file.flush();
    if (!painted || !whole || file.error() != QFileDevice::NoError || stamp.stampedDate().isEmpty()) {
        // A source that failed halfway says so; a write that failed names the file.
        const Status error = !painted && file.error() == QFileDevice::NoError ? painted : failed();
        file.cancelWriting();
        return error;
    }
    if (pdf.signer) {
        const Result<QByteArray> update = signingUpdate(kept.bytes, *pdf.signer);
        if (!update || file.write(*update) != update->size() || !file.flush()) {
            const Status error = update ? failed() : Status(update.error());
            file.cancelWriting();
            return error;
        }
    }
    if (!file.commit())
        return failed();
    return {};
}

} // namespace tvq52
