#pragma once

#include "core/error.h"
#include "evidence/signing.h"
#include "evidence/pdf_signature.h"

#include <QByteArray>
#include <QString>

namespace tvq52 {

class Translator;
class Prompter;

// The native text of the line a signed report shows: the signer's name,
// then the start of its certificate's fingerprint.
inline constexpr char kSignerLinePattern[] = "Firmado por %1 (huella %2…)";
// `pattern` (kSignerLinePattern, translated) filled for `signer`.
QString signerLine(const QString& pattern, const CertificateInfo& signer);

// The bytes appended to a whole PDF that sign it with `signer`. Fails, and
// nothing is to be written, when the key does not sign.
Result<QByteArray> signingUpdate(const QByteArray& pdf, Signer& signer);

// After a PDF was written: that it went without a time stamp, as the
// authority did not answer; and once a run, that it is unsigned, as the PC
// has no key.
void warnOfPdfSigning(Prompter& prompter, const Translator& translator);

// A report file's signature as the trust store judges it.
struct ReportSignature {
    pdf::FoundSignature found;
    SignatureCheck check; // over the bytes the range covers, when found

    bool present() const { return found.state != pdf::FoundSignature::State::None; }
    // Signed whole by a signer this PC trusts, and unchanged since.
    bool passed() const
    {
        return found.state == pdf::FoundSignature::State::Found && found.wholeFile() && check.trusted();
    }
};

// Reads `pdfPath` and checks its signature; an error only when the file
// cannot be read.
Result<ReportSignature> checkReportSignature(const QString& pdfPath, const TrustStore& trust);

} // namespace tvq52
