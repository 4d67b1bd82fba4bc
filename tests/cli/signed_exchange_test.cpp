#include "cli_run.h"
#include "db/store.h"
#include "support/exchange_lines.h"
#include "support/rows.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>

using namespace tvq52;
using namespace tvq52::test;

namespace {

QJsonObject provenanceOf(const CliResult& r)
{
    return QJsonDocument::fromJson(r.out.toUtf8()).object().value("provenance").toObject();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// An office with a key of its own and one unit's interval stored.
struct Office {
    CliRuns cli;
    QString fingerprint;

    explicit Office(const char* name)
    {
        cli.home.provision();
        EXPECT_TRUE(Store(*cli.home.openDatabase()).insert("Programacion", row({{"LNumeroSerie", 52001}})));
        cli.home.writeFile(QStringLiteral("first.TQ52"),
                           sectionStart("Intervalos") + dataLine("Intervalos", {{"LNumeroSerie", "52001"}}));
        EXPECT_EQ(cli({"import", cli.home.file(QStringLiteral("first.TQ52"))}).exitCode, 0);
        if (name) {
            EXPECT_EQ(cli({"key", "create", "--name", name}).exitCode, 0);
            fingerprint = QJsonDocument::fromJson(cli({"key", "show", "--json"}).out.toUtf8())
                              .object()
                              .value("key")
                              .toObject()
                              .value("fingerprint")
                              .toString();
            EXPECT_EQ(fingerprint.size(), 64);
        }
    }
    QByteArray exported(const QString& name = QStringLiteral("unit.TQ52")) const
    {
        const CliResult r = cli({"export", cli.home.file(name), "52001"});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return readFile(cli.home.file(name));
    }
};

// `bytes` imported into a fresh office, with the import's extra arguments.
struct Receiver {
    CliRuns cli;
    Receiver() { cli.home.provision(); }
    CliResult import(const QByteArray& bytes, const QStringList& extra = {}) const
    {
        cli.home.writeFile(QStringLiteral("in.TQ52"), bytes);
        return cli(QStringList{"import", cli.home.file(QStringLiteral("in.TQ52")), "--json"} + extra);
    }
    qint64 stored() const { return Store(*cli.home.openDatabase()).count("Intervalos"); }
};

TEST(SignedExchangeCommands, TheImportNamesWhoSignedAndRefusesAFileChangedAfterSigning)
{
    Office here("Oficina Norte"), there("Oficina Sur");
    const QByteArray ours = here.exported();
    CliResult r = here.cli({"import", here.cli.home.file(QStringLiteral("unit.TQ52")), "--json"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(provenanceOf(r), (QJsonObject{{"intact", true}, {"signed", true}, {"signer", here.fingerprint},
                                            {"trusted", true}}));

    const QByteArray theirs = there.exported();
    here.cli.home.writeFile(QStringLiteral("sur.TQ52"), theirs);
    const QStringList importTheirs{"import", here.cli.home.file(QStringLiteral("sur.TQ52")), "--json"};
    r = here.cli(importTheirs);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(provenanceOf(r).value("signer").toString(), there.fingerprint);
    EXPECT_FALSE(provenanceOf(r).value("trusted").toBool());
    EXPECT_TRUE(here.cli({"import", here.cli.home.file(QStringLiteral("sur.TQ52"))}).out.contains(there.fingerprint));
    ASSERT_EQ(there.cli({"key", "certificate", there.cli.home.file(QStringLiteral("sur.pem"))}).exitCode, 0);
    ASSERT_EQ(here.cli({"trust", "add", there.cli.home.file(QStringLiteral("sur.pem"))}).exitCode, 0);
    EXPECT_TRUE(provenanceOf(here.cli(importTheirs)).value("trusted").toBool());

    // A level changed and the digest worked out again: nothing stored.
    QByteArray changed = ours;
    changed.replace(changed.indexOf(";61.5;", changed.indexOf("//Intervalos//")), 6, ";41.5;");
    const qsizetype section = changed.indexOf("//Procedencia//");
    const qsizetype digest = changed.indexOf("SHA256;;;;;;") + 12;
    changed.replace(digest, 64, QCryptographicHash::hash(changed.left(section), QCryptographicHash::Sha256).toHex());
    Receiver to;
    r = to.import(changed);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(to.stored(), 0);
    EXPECT_FALSE(r.err.isEmpty());
    EXPECT_EQ(provenanceOf(r).value("signer").toString(), here.fingerprint);
    EXPECT_FALSE(provenanceOf(r).value("intact").toBool());
}

TEST(SignedExchangeCommands, RequireSignedImportsRefusesUnsignedAndUntrustedUnlessAccepted)
{
    Office signer("Oficina Sur"), keyless(nullptr);
    const QByteArray untrusted = signer.exported();
    const CliResult first = keyless.cli({"export", keyless.cli.home.file(QStringLiteral("a.TQ52")), "52001"});
    EXPECT_EQ(first.exitCode, 0);
    EXPECT_FALSE(first.err.isEmpty()) << "told once that the file goes out unsigned";
    const QByteArray unsignedFile = readFile(keyless.cli.home.file(QStringLiteral("a.TQ52")));
    EXPECT_FALSE(unsignedFile.contains("\nFirma;"));
    // The signature stripped: the digest still holds, nobody vouches for it.
    const QByteArray stripped = untrusted.left(untrusted.indexOf("Firma;"));

    Receiver to;
    EXPECT_EQ(provenanceOf(to.import(stripped)),
              (QJsonObject{{"intact", true}, {"signed", false}, {"signer", QJsonValue()}, {"trusted", false}}));
    Receiver strict;
    ASSERT_EQ(strict.cli({"config", "set", "RequireSignedImports", "1"}).exitCode, 0);
    for (const QByteArray& file : {unsignedFile, stripped, untrusted}) {
        const CliResult refused = strict.import(file);
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_FALSE(refused.err.isEmpty());
        EXPECT_EQ(strict.stored(), 0);
    }
    EXPECT_TRUE(strict.import(untrusted).err.contains(signer.fingerprint));
    EXPECT_EQ(strict.import(untrusted, {"--accept-unsigned"}).exitCode, 0);
    EXPECT_EQ(strict.import(stripped, {"--accept-unsigned"}).exitCode, 0);
    EXPECT_EQ(strict.stored(), 1);
}

TEST(SignedExchangeCommands, AKeyThatCannotBeLoadedWritesNothing)
{
    Office office(nullptr);
    office.cli.home.writeFile(QStringLiteral("right"), "right\n");
    office.cli.home.writeFile(QStringLiteral("wrong"), "wrong\n");
    ASSERT_EQ(office.cli({"key", "create", "--passphrase-file", office.cli.home.file(QStringLiteral("right"))}).exitCode,
              0);
    ASSERT_EQ(office.cli({"config", "set", "KeyPassphraseFile", office.cli.home.file(QStringLiteral("wrong"))}).exitCode,
              0);
    const CliResult r = office.cli({"export", office.cli.home.file(QStringLiteral("u.TQ52")), "52001"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(QFile::exists(office.cli.home.file(QStringLiteral("u.TQ52"))));
}

} // namespace
