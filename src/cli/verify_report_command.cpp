#include "cli/verify_report_command.h"

#include "cli/cli_session.h"
#include "cli/journal_findings.h"
#include "cli/report_signature_lines.h"
#include "core/date_text.h"
#include "evidence/journal.h"
#include "evidence/report_pdf_proof.h"
#include "reports/report_check.h"

#include <QJsonArray>
#include <QTextStream>

namespace tvq52 {

namespace {

QString minute(const QDateTime& t)
{
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString();
}

QString recordText(const ShownRecord& r)
{
    return r.table + QLatin1Char(' ') + r.key;
}

QJsonArray recordsJson(const QList<ShownRecord>& records)
{
    QJsonArray list;
    for (const ShownRecord& r : records)
        list.append(QJsonObject{{"table", r.table}, {"key", r.key}});
    return list;
}

// One line that says how the report stands, the reason first that a
// reader must act on.
QString verdict(const ReportCheck& c)
{
    if (c.passed())
        return QStringLiteral("The printed records are still exactly what is stored and journaled.");
    if (!c.headInChain)
        return QStringLiteral("The journal no longer holds the head printed on the report.");
    if (!c.recordsMatch)
        return c.named ? QStringLiteral("The printed records are no longer what is stored.")
                       : QStringLiteral("The records stored in the report's range are not the ones printed; the "
                                        "journal cannot tell them one by one (they were not as journaled when it "
                                        "was printed).");
    return QStringLiteral("The printed records are what is stored, but the journal does not vouch for them.");
}

void printCheck(const QString& file, const ReportProof& p, const ReportCheck& c)
{
    QTextStream out(stdout);
    out << "Report: " << file << '\n' << "Kind: " << reportKindName(p.kind);
    if (p.serial != 0)
        out << ", unit " << p.serial;
    if (p.from.isValid())
        out << ", records starting " << minute(p.from) << " to " << minute(p.to);
    out << '\n'
        << "Printed: " << p.printed.toUTC().toString(Qt::ISODate) << '\n'
        << "Records printed: " << p.records << "; stored now: " << c.recordsNow << '\n'
        << "Digest printed: " << p.digest << '\n'
        << "Journal head printed: " << (p.head.isEmpty() ? QByteArray("(empty journal)") : p.head)
        << (c.headInChain ? " (in the chain)" : " (NOT in the chain)") << '\n';
    const auto list = [&out](const char* what, const QList<ShownRecord>& records) {
        for (const ShownRecord& r : records)
            out << what << ": " << recordText(r) << '\n';
    };
    list("Changed", c.changed);
    list("Removed", c.removed);
    list("Added", c.added);
    for (const JournalFinding& f : c.findings)
        out << findingLine(f) << '\n';
    out << verdict(c) << '\n';
}

QJsonObject checkJson(const QString& file, const ReportProof& p, const ReportCheck& c)
{
    QJsonArray findings;
    for (const JournalFinding& f : c.findings)
        findings.append(findingJson(f));
    return QJsonObject{{"file", file},
                       {"kind", reportKindName(p.kind)},
                       {"serial", p.serial != 0 ? QJsonValue(p.serial) : QJsonValue()},
                       {"from", p.from.isValid() ? QJsonValue(jsonDateTimeText(p.from)) : QJsonValue()},
                       {"to", p.to.isValid() ? QJsonValue(jsonDateTimeText(p.to)) : QJsonValue()},
                       {"printed", jsonDateTimeText(p.printed.toLocalTime())},
                       {"digest", QString::fromLatin1(p.digest)},
                       {"head", jsonText(QString::fromLatin1(p.head))},
                       {"records", jsonCount(p.records)},
                       {"recordsNow", jsonCount(c.recordsNow)},
                       {"recordsMatch", c.recordsMatch},
                       {"headInChain", c.headInChain},
                       {"named", c.named},
                       {"changed", recordsJson(c.changed)},
                       {"removed", recordsJson(c.removed)},
                       {"added", recordsJson(c.added)},
                       {"findings", findings},
                       {"verified", c.passed()}};
}

} // namespace

const CommandSyntax& verifyReportSyntax()
{
    static const CommandSyntax syntax{
        "verify-report",
        "verify-report FILE.pdf [--json]",
        {"Lee la unidad, el tipo, el intervalo, el resumen y la cabeza del diario que un informe imprimió en su PDF, "
         "lee los mismos registros de la base de datos y comprueba el diario.",
         "Comprueba antes la firma del archivo: debe cubrir el archivo entero, verificarse y ser de un firmante en "
         "quien confía este PC (un archivo de antes de que el PC tuviera clave no tiene ninguna, y lo dice).\n",
         "Estado de salida 0 cuando los registros impresos siguen siendo exactamente lo guardado y anotado en el "
         "diario;",
         "1 nombrando los registros cambiados, quitados o añadidos en el intervalo del informe, cuando el diario ya no "
         "contiene la cabeza impresa, o cuando la firma falla."},
        {QStringLiteral("--json")},
        {},
        1,
        1};
    return syntax;
}

int runVerifyReport(CliSession& session, const CliOptions&, const CommandArgs& args)
{
    AppContext& ctx = *session.ctx;
    const QString file = args.arguments.at(0);
    // The signature first: the pages and the proof they carry are only
    // what the signer wrote when it covers the whole file.
    const Result<ReportSignature> signature = checkReportSignature(file, OfficeSigning::trust());
    if (!signature) {
        printError(ctx.translator, signature.error());
        return 1;
    }
    const bool json = args.has("--json");
    if (!json)
        QTextStream(stdout) << signatureLines(ctx.translator, *signature).join(QLatin1Char('\n')) << '\n';
    const Result<ReportProof> proof = readReportProof(file);
    if (!proof) {
        printError(ctx.translator, proof.error());
        return 1;
    }
    if (!openFolderDatabaseToRead(ctx))
        return 1;
    const Result<ReportCheck> check = checkReport(*ctx.db, *proof);
    if (!check) {
        printError(ctx.translator, check.error());
        return 1;
    }
    // A report printed once the journal was signed carries a signature too:
    // one without may have had it taken off.
    const bool expected = !proof->head.isEmpty() && Journal(*ctx.db).signedAt(proof->head);
    const bool stripped = expected && !signature->present();
    if (stripped && !json)
        QTextStream(stdout) << ctx.translator.translate(QStringLiteral(
                                   "El informe no está firmado, pero el diario ya se firmaba cuando se imprimió: "
                                   "su firma puede haberse quitado."))
                            << '\n';
    const bool holds = signatureHolds(*signature) && !stripped;
    if (json) {
        QJsonObject document = checkJson(file, *proof, *check);
        QJsonObject signatureObject = signatureJson(*signature);
        signatureObject.insert("expected", expected);
        document.insert("signature", signatureObject);
        document.insert("verified", holds && check->passed());
        printJson(document);
    } else {
        printCheck(file, *proof, *check);
        // The records may match and still not be what the signer printed:
        // the last line must not read as a pass.
        if (!holds)
            QTextStream(stdout) << ctx.translator.translate(QStringLiteral(
                                       "El informe no se acepta: su firma no lo avala tal como está."))
                                << '\n';
    }
    return holds && check->passed() ? 0 : 1;
}

} // namespace tvq52
