#include "reports/proof_footer.h"

#include "evidence/signed_pdf.h"
#include "i18n/translator.h"

namespace tvq52 {

QString proofDigestCaption(const Translator& translator, const ReportProof& proof)
{
    return translator.translate(QStringLiteral("SHA-256 de los %1 registros:"))
        .replace(QLatin1String("%1"), QString::number(proof.records));
}

QString proofHeadCaption(const Translator& translator)
{
    return translator.translate(QStringLiteral("Cadena del diario de intercambios:"));
}

QString proofHeadText(const ReportProof& proof)
{
    return proof.head.isEmpty() ? QStringLiteral("---") : QString::fromLatin1(proof.head);
}

Result<RenderedReport> renderWithProof(Database& database, const Translator& translator, Report& report,
                                       const ReportSources& sources, const ReportScope& scope)
{
    Result<ReportProof> proof = makeReportProof(database, scope);
    if (!proof)
        return proof.error();
    report.setText(QStringLiteral("TCadena"), proofHeadCaption(translator));
    report.setText(QStringLiteral("Cadena"), proofHeadText(*proof));
    report.setText(QStringLiteral("THuella"), proofDigestCaption(translator, *proof));
    report.setText(QStringLiteral("Huella"), QString::fromLatin1(proof->digest));
    Result<RenderedReport> rendered = report.render(sources);
    if (!rendered)
        return rendered.error();
    rendered->setSignerLinePattern(translator.translate(QString::fromUtf8(kSignerLinePattern)));
    Database* db = &database;
    const ReportScope again = scopeOf(*proof);
    rendered->setProof(std::move(*proof), [db, again]() -> Result<QByteArray> {
        const Result<ShownDigest> shown = digestShownRecords(*db, again);
        if (!shown)
            return shown.error();
        return shown->digest;
    });
    return rendered;
}

} // namespace tvq52
