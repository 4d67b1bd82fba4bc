#include "cli/key_command.h"

#include "app/signing_settings.h"
#include "cli/cli_session.h"
#include "core/date_text.h"
#include "core/own_words.h"
#include "evidence/signing.h"
#include "i18n/catalogue_message.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QTextStream>
#include <algorithm>

namespace tvq52 {

namespace {

// One form of a command with verbs: its verb, how many files it takes and
// the options it admits.
struct VerbForm {
    const char* verb;
    int files;
    QStringList options;
};

std::optional<Error> verbFault(const CommandArgs& args, const char* command, std::initializer_list<VerbForm> forms)
{
    const QString verb = args.arguments.at(0);
    const VerbForm* form = nullptr;
    for (const VerbForm& f : forms)
        if (verb == QLatin1String(f.verb))
            form = &f;
    if (!form)
        return ownWords(QStringLiteral("Orden desconocida: %1"), {QLatin1String(command) + QLatin1Char(' ') + verb});
    const qsizetype given = args.arguments.size() - 1;
    if (given < form->files)
        return ownWords(QStringLiteral("Faltan argumentos"));
    if (given > form->files)
        return ownWords(QStringLiteral("Sobra el argumento %1"), {args.arguments.at(form->files + 1)});
    for (const QString& option : QStringList(args.flags.values()) + args.values.keys())
        if (!form->options.contains(option))
            return ownWords(QStringLiteral("Opción desconocida: %1"), {option});
    return std::nullopt;
}

// A fingerprint as people copy it: hex digits, perhaps with colons, any case.
QString fingerprintArgument(const QString& text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{8,64}$"));
    const QString plain = QString(text).remove(QLatin1Char(':')).toLower();
    return hex.match(plain).hasMatch() ? plain : QString();
}

std::optional<Error> keyFault(const CommandArgs& args)
{
    return verbFault(args, "key",
                     {{"create", 0, {QStringLiteral("--name"), QStringLiteral("--passphrase-file")}},
                      {"import", 1, {QStringLiteral("--passphrase-file")}},
                      {"show", 0, {QStringLiteral("--json")}},
                      {"certificate", 1, {}}});
}

std::optional<Error> trustFault(const CommandArgs& args)
{
    if (auto fault = verbFault(args, "trust",
                               {{"add", 1, {QStringLiteral("--ca"), QStringLiteral("--organization")}},
                                {"list", 0, {QStringLiteral("--json")}},
                                {"remove", 1, {}}}))
        return fault;
    const QString verb = args.arguments.at(0);
    // An authority is trusted for one organization only, never for all.
    if (args.has("--ca") != args.value("--organization").has_value()
        || args.value("--organization").value_or(QStringLiteral("x")).trimmed().isEmpty())
        return ownWords(
            QStringLiteral("--ca va con --organization ORGANIZACIÓN: la organización para la que se confía "
                           "en la autoridad"));
    if (verb == QLatin1String("remove") && fingerprintArgument(args.arguments.at(1)).isEmpty())
        return ownWords(QStringLiteral("No es una huella SHA-256 (al menos 8 cifras hexadecimales): %1"),
                        {args.arguments.at(1)});
    return std::nullopt;
}

QString shownTime(const QDateTime& at)
{
    return at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QJsonObject certificateJson(const CertificateInfo& c)
{
    return QJsonObject{{"subject", c.subject},
                       {"commonName", jsonText(c.commonName)},
                       {"organization", jsonText(c.organization)},
                       {"fingerprint", QString::fromLatin1(c.fingerprint)},
                       {"notBefore", jsonDateTimeText(c.notBefore.toLocalTime())},
                       {"notAfter", jsonDateTimeText(c.notAfter.toLocalTime())}};
}

// Labelled lines, the labels in the user's language, lined up.
void printCertificate(const Translator& translator, const CertificateInfo& c)
{
    auto say = [&](const char* text) { return translator.translate(QString::fromUtf8(text)); };
    const QString lines = say("Certificado:") + QLatin1Char('\t') + c.subject + QLatin1Char('\n')
        + say("Huella SHA-256:") + QLatin1Char('\t') + QString::fromLatin1(c.fingerprint) + QLatin1Char('\n')
        + say("Válido desde:") + QLatin1Char('\t') + shownTime(c.notBefore) + QLatin1Char('\n') + say("Válido hasta:")
        + QLatin1Char('\t') + shownTime(c.notAfter);
    QTextStream(stdout) << ConsolePrompter::consoleText(lines) << Qt::endl;
}

int failed(const AppContext& ctx, const Error& error)
{
    printError(ctx.translator, error);
    return 1;
}

int keyCreateOrImport(CliSession& session, const CommandArgs& args, KeyStore& store)
{
    const AppContext& ctx = *session.ctx;
    const bool create = args.arguments.at(0) == QLatin1String("create");
    QString passphrase;
    if (const auto file = args.value("--passphrase-file")) {
        const Result<QString> read = readPassphraseFile(*file);
        if (!read)
            return failed(ctx, read.error());
        passphrase = *read;
    } else if (!create && ConsolePrompter::stdinIsTerminal()) {
        // A PKCS#12 file nearly always has one; with nobody to ask, none is tried.
        const auto asked =
            session.prompter->secret(ctx.translator.translate(QStringLiteral("Frase de paso del archivo PKCS#12:")), {});
        if (!asked)
            return failed(ctx, ownWords(QStringLiteral("No se ha dado la frase de paso; la clave queda como estaba")));
        passphrase = *asked;
    }
    if (!mayReplaceKey(ctx.home, ctx.translator, *session.prompter))
        return failed(ctx, ownWords(QStringLiteral("La clave de firma queda como estaba")));
    const Result<CertificateInfo> made = create ? store.create(args.value("--name").value_or(QString()), passphrase)
                                                : store.importPkcs12(args.arguments.at(1), passphrase);
    if (!made)
        return failed(ctx, made.error());
    OfficeSigning::reset();
    printCertificate(ctx.translator, *made);
    if (!passphrase.isEmpty() && readSigningSettings(ctx.home).passphraseFile.isEmpty())
        QTextStream(stderr) << ctx.translator.translate(
            QStringLiteral("Para firmar sin preguntar, indique el archivo de la frase de paso en el ajuste "
                           "KeyPassphraseFile."))
                            << Qt::endl;
    return 0;
}

int keyShow(const AppContext& ctx, const CommandArgs& args, const KeyStore& store)
{
    const auto current = store.current();
    if (!current)
        return failed(ctx, current.error());
    QList<CertificateInfo> earlier = store.ownCertificates();
    if (current->has_value())
        earlier.removeIf([&](const CertificateInfo& c) { return c.fingerprint == (*current)->fingerprint; });
    // Whether the key would sign now: readable by this user alone, its
    // passphrase at hand, its certificate in force.
    std::optional<Error> problem;
    if (current->has_value())
        if (const Result<std::unique_ptr<Signer>> loaded = store.load(signingSetup(ctx.home)); !loaded)
            problem = loaded.error();
    if (args.has("--json")) {
        QJsonArray list;
        for (const CertificateInfo& c : earlier)
            list.append(certificateJson(c));
        QJsonValue key;
        if (current->has_value()) {
            QJsonObject o = certificateJson(**current);
            o.insert("usable", !problem);
            o.insert("problem", problem ? QJsonValue(errorText(ctx.translator, *problem)) : QJsonValue());
            key = o;
        }
        printJson(QJsonObject{{"key", key}, {"earlier", list}});
        return problem ? failed(ctx, *problem) : 0;
    }
    QTextStream out(stdout);
    if (current->has_value())
        printCertificate(ctx.translator, **current);
    else
        out << ctx.translator.translate(QStringLiteral("Este PC no tiene clave de firma: tvq52-cli key create la crea"))
            << Qt::endl;
    if (!earlier.isEmpty()) {
        out << ctx.translator.translate(QStringLiteral("Certificados anteriores de este PC:")) << '\n';
        for (const CertificateInfo& c : earlier)
            out << "  " << c.fingerprint << "  " << c.subject << "  " << shownTime(c.notBefore) << " - "
                << shownTime(c.notAfter) << '\n';
        out.flush();
    }
    return problem ? failed(ctx, *problem) : 0;
}

QString entryKind(const Translator& translator, const TrustStore::Entry& e)
{
    if (e.own)
        return translator.translate(QStringLiteral("de este PC"));
    if (e.authority)
        return translator.translate(QStringLiteral("autoridad para %1")).arg(e.organization);
    return translator.translate(QStringLiteral("otra oficina"));
}

} // namespace

const CommandSyntax& keySyntax()
{
    static const CommandSyntax syntax{
        "key",
        "key create [--name TEXT] [--passphrase-file FILE]\nkey import FILE.p12 [--passphrase-file FILE]\n"
        "key show [--json]\nkey certificate FILE.pem",
        {"La clave con la que este PC firma el diario, los informes y los archivos de intercambio, guardada en la "
         "carpeta keys de la carpeta de datos (legible solo por este usuario).",
         "create crea una clave y un certificado propio que nombra TEXT (sin él, el nombre del equipo); import toma "
         "una clave y un certificado emitidos por una autoridad;",
         "antes de reemplazar una clave se pregunta (--yes) y su certificado sigue siendo de este PC. La frase de "
         "contraseña es la primera línea de FILE.",
         "show escribe el certificado, si firma, y los anteriores del PC; certificate lo escribe para otras oficinas."},
        {QStringLiteral("--json")},
        {QStringLiteral("--name"), QStringLiteral("--passphrase-file")},
        1,
        2,
        keyFault};
    return syntax;
}

int runKey(CliSession& session, const CliOptions&, const CommandArgs& args)
{
    const AppContext& ctx = *session.ctx;
    KeyStore store(keysFolder(ctx.home));
    const QString verb = args.arguments.at(0);
    if (verb == QLatin1String("show"))
        return keyShow(ctx, args, store);
    if (verb == QLatin1String("certificate")) {
        const Status written = store.writeCertificate(args.arguments.at(1));
        return written ? 0 : failed(ctx, written.error());
    }
    return keyCreateOrImport(session, args, store);
}

const CommandSyntax& trustSyntax()
{
    static const CommandSyntax syntax{
        "trust",
        "trust add FILE.pem\ntrust add --ca FILE.pem --organization ORGANIZATION\ntrust list [--json]\n"
        "trust remove FINGERPRINT",
        {"Los certificados cuyas firmas cuentan como de una oficina: el certificado de otra oficina, o el de una "
         "autoridad, para los certificados que emite solo a ORGANIZATION. Los de este PC cuentan siempre.",
         "remove toma la huella SHA-256 que escribe list, o sus 8 primeras cifras o más."},
        {QStringLiteral("--json"), QStringLiteral("--ca")},
        {QStringLiteral("--organization")},
        1,
        2,
        trustFault};
    return syntax;
}

int runTrust(CliSession& session, const CliOptions&, const CommandArgs& args)
{
    const AppContext& ctx = *session.ctx;
    Result<TrustStore> store = TrustStore::load(keysFolder(ctx.home));
    if (!store)
        return failed(ctx, store.error());
    const QString verb = args.arguments.at(0);
    QTextStream out(stdout);
    if (verb == QLatin1String("remove")) {
        const QString fingerprint = fingerprintArgument(args.arguments.at(1));
        const Result<bool> removed = store->remove(fingerprint);
        if (!removed)
            return failed(ctx, removed.error());
        if (!*removed)
            return failed(
                ctx,
                ownWords(QStringLiteral("Ningún certificado de confianza tiene la huella %1"), {args.arguments.at(1)}));
        return 0;
    }
    if (verb == QLatin1String("add")) {
        const QList<TrustStore::Entry> before = store->entries();
        const Status added = args.has("--ca")
            ? store->addAuthority(args.arguments.at(1), args.value("--organization")->trimmed())
            : store->add(args.arguments.at(1));
        if (!added)
            return failed(ctx, added.error());
        // What was added is what the list did not hold before.
        for (const TrustStore::Entry& e : store->entries()) {
            const bool old = std::any_of(before.begin(), before.end(), [&](const TrustStore::Entry& b) {
                return b.certificate.fingerprint == e.certificate.fingerprint && b.authority == e.authority;
            });
            if (!old)
                out << entryKind(ctx.translator, e) << ": " << e.certificate.subject << " (" << e.certificate.fingerprint
                    << ")\n";
        }
        return 0;
    }
    const QList<TrustStore::Entry> entries = store->entries();
    if (args.has("--json")) {
        QJsonArray list;
        for (const TrustStore::Entry& e : entries) {
            QJsonObject o = certificateJson(e.certificate);
            o.insert("own", e.own);
            o.insert("authority", e.authority);
            o.insert("trustedFor", e.authority ? QJsonValue(e.organization) : QJsonValue());
            list.append(o);
        }
        printJson(QJsonObject{{"certificates", list}});
        return 0;
    }
    for (const TrustStore::Entry& e : entries)
        out << e.certificate.fingerprint << '\n'
            << "  " << e.certificate.subject << '\n'
            << "  " << entryKind(ctx.translator, e) << ", " << shownTime(e.certificate.notBefore) << " - "
            << shownTime(e.certificate.notAfter) << '\n';
    if (entries.isEmpty())
        out << ctx.translator.translate(QStringLiteral("No hay certificados de confianza")) << '\n';
    return 0;
}

} // namespace tvq52
