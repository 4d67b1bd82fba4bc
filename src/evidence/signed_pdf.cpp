#include "evidence/signed_pdf.h"

#include "core/own_words.h"
#include "core/prompter.h"
#include "core/regular_file.h"
#include "i18n/translator.h"

#include <QDir>
#include <QFile>

namespace tvq52 {

QString signerLine(const QString& pattern, const CertificateInfo& signer)
{
    const QString name = signer.commonName.isEmpty() ? signer.subject : signer.commonName;
    return QString(pattern)
        .replace(QLatin1String("%1"), name)
        .replace(QLatin1String("%2"), QString::fromLatin1(signer.fingerprint.left(16)));
}

Result<QByteArray> signingUpdate(const QByteArray& pdf, Signer& signer)
{
    return pdf::signatureUpdate(pdf, QDateTime::currentDateTimeUtc(),
                                [&signer](QByteArrayView covered) -> Result<QByteArray> {
                                    Result<Signature> made = signer.sign(covered);
                                    if (!made)
                                        return made.error();
                                    if (!made->timeStampProblem.isEmpty())
                                        OfficeSigning::noteTimeStampProblem(made->timeStampProblem);
                                    return made->cms;
                                });
}

void warnOfPdfSigning(Prompter& prompter, const Translator& translator)
{
    // Signed all the same: only the time rests on the PC's clock.
    const QString stamp = OfficeSigning::takeTimeStampProblem();
    if (!stamp.isEmpty())
        prompter.show(translator.translate(QStringLiteral("El PDF se ha firmado sin sello de tiempo: la autoridad de "
                                                         "sellado no respondió (%1). Su hora es la del PC."))
                          .arg(stamp),
                      MessageStyle::Exclamation);
    const Result<Signer*> signer = OfficeSigning::signer();
    // A key that cannot be loaded failed the writing already.
    if (!signer || *signer || !OfficeSigning::firstUnsignedWarning())
        return;
    prompter.show(
        translator.translate(QStringLiteral("Este PC no tiene clave de firma: los PDF se guardan sin firmar.")),
        MessageStyle::Exclamation);
}

Result<ReportSignature> checkReportSignature(const QString& pdfPath, const TrustStore& trust)
{
    // A FIFO would keep the reading waiting for a writer.
    if (isNonRegularFile(pdfPath))
        return nonRegularFileError(pdfPath, FileUse::Read);
    QFile file(pdfPath);
    if (!file.open(QIODevice::ReadOnly))
        return ownWords(QStringLiteral("No se puede leer %1: %2"),
                        {QDir::toNativeSeparators(pdfPath), file.errorString()});
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return ownWords(QStringLiteral("No se puede leer %1: %2"),
                        {QDir::toNativeSeparators(pdfPath), file.errorString()});
    if (!bytes.startsWith("%PDF-"))
        return ownWords(QStringLiteral("%1 no es un archivo PDF."), {QDir::toNativeSeparators(pdfPath)});
    ReportSignature signature;
    signature.found = pdf::findSignature(bytes);
    if (signature.found.state == pdf::FoundSignature::State::Found)
        signature.check = verifySignature(signature.found.cms, signature.found.covered, trust);
    return signature;
}

} // namespace tvq52
