#include "reports/fleet_proof.h"

#include "evidence/signed_pdf.h"
#include "i18n/translator.h"
#include "reports/proof_footer.h"
#include "reports/shown_records.h"

namespace tvq52 {

Result<FleetTable> provenFleetTable(Database& database, const Translator& translator, FleetOptions options,
                                    const QString& footer)
{
    // One moment for the table and its proof, as the file keeps it.
    const QDateTime printed = QDateTime::fromSecsSinceEpoch(options.now.toSecsSinceEpoch(), Qt::UTC);
    options.now = printed.toLocalTime();
    const Result<std::vector<FleetUnit>> units = loadFleet(database, options);
    if (!units)
        return units.error();
    Result<ReportProof> proof = makeReportProof(database, {ReportKind::Fleet, 0, {}, {}, printed});
    if (!proof)
        return proof.error();
    FleetTable table = fleetTable(*units, translator, options.now);
    if (!footer.isEmpty())
        table.footer << footer;
    table.footer << proofDigestCaption(translator, *proof) + QLatin1Char(' ') + QString::fromLatin1(proof->digest)
                 << proofHeadCaption(translator) + QLatin1Char(' ') + proofHeadText(*proof);
    table.proof = std::move(*proof);
    table.signerPattern = translator.translate(QString::fromUtf8(kSignerLinePattern));
    return table;
}

} // namespace tvq52
