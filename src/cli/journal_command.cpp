#include "cli/journal_command.h"

#include "cli/cli_session.h"
#include "cli/journal_findings.h"
#include "core/date_text.h"
#include "core/own_words.h"
#include "evidence/exchange_provenance.h"
#include "evidence/journal.h"
#include "evidence/journal_signatures.h"
#include "i18n/translator.h"
#include "records/outcome_text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTextStream>

namespace tvq52 {

namespace {

// "Entrada 4: firmada por CN=... (1a2b...); de confianza; hora del PC, no probada".
QString signingLine(const JournalSigning& s, const Translator& translator)
{
    auto say = [&](const char* text) { return translator.translate(QString::fromUtf8(text)); };
    QStringList parts;
    if (s.open)
        parts << say("abierta: sus registros no quedan avalados");
    if (!s.isSigned) {
        parts << (s.beforeKeys ? say("sin firma, anterior a las claves") : say("sin firma"));
    } else {
        if (!s.signer.isNull())
            parts << say("firmada por %1").arg(journal_signatures::signerName(s.signer));
        parts << (!s.valid ? say("firma no válida") : s.trusted ? say("de confianza") : say("firmante sin confianza"));
        if (s.valid)
            parts << (s.timeProven ? say("hora probada por sellado de tiempo de %1").arg(s.time.authority)
                                   : say("hora del PC, no probada"));
    }
    return say("Entrada %1:").arg(s.entry) + QLatin1Char(' ') + parts.join(QStringLiteral("; "));
}

QJsonObject signingJson(const JournalSigning& s)
{
    const QJsonValue signer = s.signer.isNull()
        ? QJsonValue()
        : QJsonObject{{"subject", s.signer.subject}, {"fingerprint", QString::fromLatin1(s.signer.fingerprint)}};
    return QJsonObject{{"id", s.entry},
                       {"open", s.open},
                       {"signed", s.isSigned},
                       {"beforeKeys", s.beforeKeys},
                       {"valid", s.valid},
                       {"trusted", s.trusted},
                       {"signer", signer},
                       {"signedAt", jsonText(jsonDateTimeText(s.time.at.toLocalTime()))},
                       {"timeProven", s.timeProven},
                       {"timeAuthority", jsonText(s.timeProven ? s.time.authority : QString())}};
}

void printVerification(const JournalVerification& v, const QByteArray& keptHead, const Translator& translator)
{
    QTextStream out(stdout);
    auto say = [&](const char* text) { return translator.translate(QString::fromUtf8(text)); };
    for (const JournalSigning& s : v.signing)
        out << signingLine(s, translator) << '\n';
    if (!v.anySigned)
        out << say("El diario no tiene entradas firmadas") << '\n';
    for (const JournalFinding& f : v.findings)
        out << findingLine(f) << '\n';
    out << say("Registros comprobados:") << ' ' << v.recordsChecked << '\n'
        << say("Reescritos por una entrada posterior:") << ' ' << v.recordsRewritten << '\n'
        << say("Fuera del diario:") << ' ' << v.recordsNotJournaled << '\n';
    if (v.recordsInOpenEntries > 0)
        out << say("En entradas aún abiertas:") << ' ' << v.recordsInOpenEntries << '\n';
    out << say("Cabeza del diario:") << ' ' << v.head << '\n';
    if (!keptHead.isEmpty() && v.findings.isEmpty())
        out << say("La cabeza guardada %1 está en la cadena").arg(QString::fromLatin1(keptHead)) << '\n';
    else if (keptHead.isEmpty())
        out << say(
            "Sin --head no se detecta que falten las entradas más recientes: guarde la cabeza y "
            "compruébela con --head")
            << '\n';
    if (v.findings.isEmpty())
        out << say("Todo se verifica") << '\n';
    else
        out << say("Hallazgos:") << ' ' << v.findings.size() << '\n';
}

QJsonObject verificationJson(const JournalVerification& v, const QByteArray& keptHead)
{
    QJsonArray findings;
    for (const JournalFinding& f : v.findings)
        findings.append(findingJson(f));
    QJsonArray entries;
    for (const JournalSigning& s : v.signing)
        entries.append(signingJson(s));
    return QJsonObject{{"findings", findings},
                       {"entries", entries},
                       {"signed", v.anySigned},
                       {"recordsChecked", v.recordsChecked},
                       {"recordsRewritten", v.recordsRewritten},
                       {"recordsNotJournaled", v.recordsNotJournaled},
                       {"recordsInOpenEntries", v.recordsInOpenEntries},
                       {"head", jsonText(QString::fromLatin1(v.head))},
                       {"keptHead", jsonText(QString::fromLatin1(keptHead))},
                       {"verified", v.findings.isEmpty()}};
}

// Merges, imports and the journal's own entries concern no one unit.
bool ofAUnit(const JournalEntry& e)
{
    return e.action == JournalAction::Download || e.action == JournalAction::ProgramReceive
        || e.action == JournalAction::ProgramTransmit || e.action == JournalAction::UnitDeletion;
}

// What an imported file said of where it comes from.
void printProvenance(QTextStream& out, const QString& text)
{
    if (text.isEmpty())
        return;
    const std::optional<FileProvenance> p = provenanceFromJson(text);
    if (!p) {
        out << "  provenance unreadable\n";
        return;
    }
    out << "  provenance: file digest " << p->statedDigest
        << (p->digestMatches() ? QByteArray(" (matches)") : " (differs, read " + p->readDigest + ")") << ", written "
        << p->written << ", source head " << (p->head.isEmpty() ? QByteArray("none") : p->head) << '\n';
    if (p->damage != FileProvenance::Damage::None)
        out << "  provenance damaged at line " << p->damageLine << '\n';
    for (const SourceEntry& s : p->entries) {
        out << "  source entry ";
        if (s.entry == 0)
            out << "none";
        else
            out << '#' << s.entry << ' ' << s.at << ' ' << s.action << ": " << s.outcome << " hash " << s.hash;
        out << ", unit " << s.serial << ", " << s.records << " records\n";
    }
}

void printEntry(QTextStream& out, const JournalEntry& e, const Translator& translator)
{
    const QString message = journalMessageText(translator, e);
    out << '#' << e.id << ' ' << e.at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) << ' '
        << journalActionName(e.action);
    if (ofAUnit(e))
        out << " unit " << (e.serial > 0 ? QString::number(e.serial) : QStringLiteral("unknown"));
    if (!e.line.isEmpty())
        out << " by " << e.line;
    out << ": " << (e.outcome.isEmpty() ? QStringLiteral("open") : e.outcome) << '\n';
    if (!e.user.isEmpty())
        out << "  user " << e.user << '\n';
    if (!message.isEmpty())
        out << "  " << QString(message).replace(QLatin1Char('\n'), QLatin1Char(' ')) << '\n';
    if (!e.counts.isEmpty())
        out << "  " << QString(e.counts).replace(QLatin1Char('\n'), QStringLiteral("; ")) << '\n';
    if (!e.source.isEmpty())
        out << "  source SHA-256 " << e.source << '\n';
    printProvenance(out, e.provenance);
    if (e.sealed())
        out << "  hash " << e.hash << '\n';
}

QJsonObject entryJson(const JournalEntry& e, const Translator& translator)
{
    QJsonArray counts;
    for (const QString& line : e.counts.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        counts.append(line);
    const QJsonValue provenance =
        e.provenance.isEmpty() ? QJsonValue() : QJsonValue(QJsonDocument::fromJson(e.provenance.toUtf8()).object());
    return QJsonObject{{"id", e.id},
                       {"at", jsonDateTimeText(e.at)},
                       {"action", journalActionName(e.action)},
                       {"serial", ofAUnit(e) ? jsonCount(e.serial) : QJsonValue()},
                       {"line", jsonText(e.line)},
                       {"user", jsonText(e.user)},
                       {"outcome", jsonText(e.outcome)},
                       {"message", jsonText(journalMessageText(translator, e))},
                       {"counts", counts},
                       {"source", jsonText(QString::fromLatin1(e.source))},
                       {"provenance", provenance},
                       {"hash", jsonText(QString::fromLatin1(e.hash))}};
}

} // namespace

const CommandSyntax& verifySyntax()
{
    static const CommandSyntax syntax{
        "verify",
        "verify [SERIAL] [--head HASH] [--json]",
        {"Comprueba los registros guardados con el diario de intercambios y nombra quién firmó cada entrada; estado de "
         "salida 1 cuando se cambió un registro o una entrada, un registro no tiene la entrada que lo guardó,",
         "una firma falla o falta donde corresponde, o el HASH de cabeza guardado no está en la cadena."},
        {QStringLiteral("--json")},
        {QStringLiteral("--head")},
        0,
        1};
    return syntax;
}

int runVerify(CliSession& session, const CliOptions&, const CommandArgs& args)
{
    AppContext& ctx = *session.ctx;
    std::optional<qint32> serial;
    if (!args.arguments.isEmpty() && !(serial = serialArgument(args.arguments[0])))
        return refuseUsage(ctx.translator, ownWords(QStringLiteral("No es un número de serie: %1"), {args.arguments[0]}),
                           verifySyntax());
    QByteArray keptHead;
    if (const auto head = args.value("--head")) {
        static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]{64}$"));
        if (!hex.match(*head).hasMatch())
            return refuseUsage(ctx.translator, ownWords(QStringLiteral("No es un hash SHA-256 en hexadecimal: %1"), {*head}),
                               verifySyntax());
        keptHead = head->toLower().toLatin1();
    }
    if (!openFolderDatabaseToRead(ctx))
        return 1;
    Journal journal(*ctx.db);
    // Signatures the authority left unstamped get their stamp first.
    (void)journal.addPendingTimeStamps();
    const JournalVerification v = journal.verify(serial, keptHead);
    if (args.has("--json"))
        printJson(verificationJson(v, keptHead));
    else
        printVerification(v, keptHead, ctx.translator);
    return v.findings.isEmpty() ? 0 : 1;
}

const CommandSyntax& journalSyntax()
{
    static const CommandSyntax syntax{
        "journal",
        "journal [--serial N] [--json] | journal --head [--json]",
        {"Lista el diario de intercambios, lo más reciente primero, y su cabeza. --head escribe solo la cabeza (una "
         "línea vacía para un diario vacío), para guardarla en otro sitio y darla más tarde a verify --head."},
        {QStringLiteral("--json"), QStringLiteral("--head")},
        {QStringLiteral("--serial")}};
    return syntax;
}

int runJournal(CliSession& session, const CliOptions&, const CommandArgs& args)
{
    AppContext& ctx = *session.ctx;
    std::optional<qint32> serial;
    if (const auto text = args.value("--serial")) {
        bool ok = false;
        serial = text->toInt(&ok);
        if (!ok)
            return refuseUsage(ctx.translator, ownWords(QStringLiteral("No es un número de serie: %1"), {*text}),
                               journalSyntax());
    }
    if (args.has("--head") && serial)
        return refuseUsage(ctx.translator, ownWords(QStringLiteral("--head no admite --serial: la cabeza es de todo el diario")),
                           journalSyntax());
    if (!openFolderDatabaseToRead(ctx))
        return 1;
    const Journal journal(*ctx.db);
    // The head is the last entry sealed, which is not always the highest number.
    const Result<QByteArray> head = journal.head();
    if (!head) {
        printError(ctx.translator, head.error());
        return 1;
    }
    if (args.has("--head")) {
        if (args.has("--json"))
            printJson(QJsonObject{{"head", jsonText(QString::fromLatin1(*head))}});
        else
            QTextStream(stdout) << *head << '\n';
        return 0;
    }
    const Result<QList<JournalEntry>> entries = journal.entries(serial);
    if (!entries) {
        printError(ctx.translator, entries.error());
        return 1;
    }
    if (args.has("--json")) {
        QJsonArray list;
        for (const JournalEntry& e : *entries)
            list.append(entryJson(e, ctx.translator));
        printJson(QJsonObject{{"entries", list}, {"head", jsonText(QString::fromLatin1(*head))}});
        return 0;
    }
    QTextStream out(stdout);
    for (const JournalEntry& e : *entries)
        printEntry(out, e, ctx.translator);
    out << ctx.translator.translate(QStringLiteral("Cabeza del diario:")) << ' ' << *head << '\n';
    return 0;
}

} // namespace tvq52
