#include "cli_run.h"
#include "db/store.h"
#include "support/exchange_lines.h"
#include "support/result_checks.h"
#include "support/rows.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>

using namespace tvq52;
using namespace tvq52::test;

namespace {

// A data folder with one unit's interval stored, and its key when named;
// or an empty one that receives files.
struct Office {
    CliRuns cli;
    QString fingerprint;

    explicit Office(const char* name = nullptr, bool records = true)
    {
        cli.home.provision();
        if (!records)
            return;
        EXPECT_TRUE(Store(*cli.home.openDatabase()).insert("Programacion", row({{"LNumeroSerie", 52001}})));
        cli.home.writeFile(QStringLiteral("first.TQ52"),
                           sectionStart("Intervalos") + dataLine("Intervalos", {{"LNumeroSerie", "52001"}}));
        EXPECT_EQ(cli({"import", file("first.TQ52")}).exitCode, 0);
        if (name && cli({"key", "create", "--name", name}).exitCode == 0)
            fingerprint =
                jsonOf(cli({"key", "show", "--json"})).value("key").toObject().value("fingerprint").toString();
    }
    QString file(const char* name) const { return cli.home.file(QString::fromLatin1(name)); }
    QByteArray exported(CliResult* run = nullptr) const
    {
        const CliResult r = cli({"export", file("unit.TQ52"), "52001"});
        if (run)
            *run = r;
        QFile f(file("unit.TQ52"));
        return r.exitCode == 0 && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    CliResult import(const QByteArray& bytes, const QStringList& extra = {}) const
    {
        cli.home.writeFile(QStringLiteral("in.TQ52"), bytes);
        return cli(QStringList{"import", file("in.TQ52"), "--json"} + extra);
    }
    qint64 stored() const { return test::take(Store(*cli.home.openDatabase()).count("Intervalos")); }
};

QJsonObject provenance(bool intact, bool isSigned, const QString& signer, bool trusted)
{
    return {{"intact", intact},
            {"signed", isSigned},
            {"signer", signer.isEmpty() ? QJsonValue() : QJsonValue(signer)},
            {"trusted", trusted}};
}

TEST(SignedExchangeCommands, TheImportNamesWhoSignedAndStoresNothingOfAFileChangedAfterSigning)
{
    Office here("Oficina Norte"), there("Oficina Sur");
    ASSERT_EQ(here.fingerprint.size(), 64);
    const QByteArray ours = here.exported(), theirs = there.exported();
    EXPECT_EQ(jsonOf(here.import(ours)).value("provenance"), provenance(true, true, here.fingerprint, true));
    const CliResult untrusted = here.import(theirs);
    EXPECT_EQ(untrusted.exitCode, 0);
    EXPECT_EQ(jsonOf(untrusted).value("provenance"), provenance(true, true, there.fingerprint, false));
    ASSERT_EQ(there.cli({"key", "certificate", there.file("sur.pem")}).exitCode, 0);
    ASSERT_EQ(here.cli({"trust", "add", there.file("sur.pem")}).exitCode, 0);
    EXPECT_TRUE(jsonOf(here.import(theirs)).value("provenance").toObject().value("trusted").toBool());

    // A level changed and the digest worked out again.
    QByteArray changed = ours;
    changed.replace(changed.indexOf(";61.5;", changed.indexOf("//Intervalos//")), 6, ";41.5;");
    const QByteArray digest =
        QCryptographicHash::hash(changed.left(changed.indexOf("//Procedencia//")), QCryptographicHash::Sha256);
    changed.replace(changed.indexOf("SHA256;;;;;;") + 12, 64, digest.toHex());
    Office receiver(nullptr, false);
    const CliResult r = receiver.import(changed);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.err.isEmpty());
    EXPECT_EQ(jsonOf(r).value("provenance"), provenance(false, true, here.fingerprint, false));
    EXPECT_EQ(receiver.stored(), 0);
}

TEST(SignedExchangeCommands, UnsignedAndUntrustedFilesAreRefusedWhereSignedOnesAreRequired)
{
    Office signer("Oficina Sur"), keyless, strict(nullptr, false);
    CliResult exported;
    const QByteArray untrusted = signer.exported(), plain = keyless.exported(&exported);
    EXPECT_FALSE(exported.err.isEmpty()) << "told that the file goes out unsigned";
    EXPECT_FALSE(plain.contains("\nFirma;"));
    const QByteArray stripped = untrusted.left(untrusted.indexOf("Firma;"));
    EXPECT_EQ(jsonOf(keyless.import(stripped)).value("provenance"), provenance(true, false, {}, false));

    ASSERT_EQ(strict.cli({"config", "set", "RequireSignedImports", "1"}).exitCode, 0);
    for (const QByteArray& file : {plain, stripped, untrusted}) {
        const CliResult refused = strict.import(file);
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_EQ(refused.err.contains(signer.fingerprint), file == untrusted) << refused.err.toStdString();
        EXPECT_EQ(strict.stored(), 0);
    }
    EXPECT_EQ(strict.import(untrusted, {"--accept-unsigned"}).exitCode, 0);
    EXPECT_EQ(strict.stored(), 1);

    // A key that cannot be loaded writes nothing.
    keyless.cli.home.writeFile(QStringLiteral("right"), "right\n");
    keyless.cli.home.writeFile(QStringLiteral("wrong"), "wrong\n");
    ASSERT_EQ(keyless.cli({"key", "create", "--passphrase-file", keyless.file("right")}).exitCode, 0);
    ASSERT_EQ(keyless.cli({"config", "set", "KeyPassphraseFile", keyless.file("wrong")}).exitCode, 0);
    QFile::remove(keyless.file("unit.TQ52"));
    EXPECT_TRUE(keyless.exported(&exported).isEmpty());
    EXPECT_EQ(exported.exitCode, 1);
    EXPECT_FALSE(QFile::exists(keyless.file("unit.TQ52")));
}

} // namespace
