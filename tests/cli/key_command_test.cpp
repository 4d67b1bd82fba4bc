#include "cli_run.h"
#include "evidence/test_identity.h"
#include "support/file_bytes.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <openssl/pkcs12.h>

using tvq52::test::CliResult;
using tvq52::test::CliRuns;
using tvq52::test::jsonOf;
using tvq52::test::makeIdentity;
using tvq52::test::TestIdentity;

namespace {

// `identity` as an authority hands it out: key and certificate under a passphrase.
QByteArray pkcs12(const TestIdentity& identity, const char* passphrase)
{
    PKCS12* p12 = PKCS12_create(passphrase, "oficina", identity.key.get(), identity.cert.get(), nullptr, 0, 0, 0, 0, 0);
    EXPECT_TRUE(p12);
    unsigned char* der = nullptr;
    const int length = i2d_PKCS12(p12, &der);
    QByteArray bytes(reinterpret_cast<const char*>(der), std::max(length, 0));
    OPENSSL_free(der);
    PKCS12_free(p12);
    return bytes;
}

QString writeFile(const CliRuns& cli, const char* name, const QByteArray& contents)
{
    cli.home.writeFile(QString::fromLatin1(name), contents);
    return cli.home.file(QString::fromLatin1(name));
}

const QRegularExpression kFingerprint(QStringLiteral("^[0-9a-f]{64}$"));

} // namespace

// The key's whole life: none, made, shown in both forms, written out,
// replaced only when the user agrees, the replaced one still listed.
TEST(CliKey, IsCreatedShownWrittenAndReplacedOnlyWhenAgreed)
{
    CliRuns cli;
    const CliResult none = cli({"key", "show", "--json"});
    EXPECT_EQ(none.exitCode, 0) << qPrintable(none.err);
    EXPECT_TRUE(jsonOf(none).value("key").isNull());
    EXPECT_TRUE(jsonOf(none).value("earlier").toArray().isEmpty());

    const CliResult made = cli({"key", "create", "--name", "Oficina Norte"});
    ASSERT_EQ(made.exitCode, 0) << qPrintable(made.err);

    const QJsonObject shown = jsonOf(cli({"key", "show", "--json"}));
    const QJsonObject key = shown.value("key").toObject();
    EXPECT_EQ(key.value("commonName").toString(), QStringLiteral("Oficina Norte"));
    const QString fingerprint = key.value("fingerprint").toString();
    EXPECT_TRUE(kFingerprint.match(fingerprint).hasMatch()) << qPrintable(fingerprint);
    EXPECT_TRUE(key.value("usable").toBool());
    EXPECT_TRUE(key.value("problem").isNull());
    EXPECT_LT(key.value("notBefore").toString(), key.value("notAfter").toString());
    EXPECT_TRUE(made.out.contains(fingerprint));

    const QString pem = cli.home.file(QStringLiteral("oficina.pem"));
    ASSERT_EQ(cli({"key", "certificate", pem}).exitCode, 0);
    const QByteArray certificate = tvq52::test::readBytes(pem);
    EXPECT_TRUE(certificate.startsWith("-----BEGIN CERTIFICATE-----"));
    EXPECT_FALSE(certificate.contains("PRIVATE KEY"));

    // With nobody to ask, the key in place stays.
    const CliResult kept = cli({"key", "create", "--name", "Otra"});
    EXPECT_EQ(kept.exitCode, 1);
    EXPECT_EQ(jsonOf(cli({"key", "show", "--json"})).value("key").toObject().value("fingerprint").toString(),
              fingerprint);

    ASSERT_EQ(cli({"--yes", "key", "create", "--name", "Otra"}).exitCode, 0);
    const QJsonObject after = jsonOf(cli({"key", "show", "--json"}));
    EXPECT_NE(after.value("key").toObject().value("fingerprint").toString(), fingerprint);
    const QJsonArray earlier = after.value("earlier").toArray();
    ASSERT_EQ(earlier.size(), 1);
    EXPECT_EQ(earlier[0].toObject().value("fingerprint").toString(), fingerprint);
    EXPECT_TRUE(cli({"key", "show"}).out.contains(fingerprint));
}

// A key an authority issued comes as PKCS#12 and keeps its passphrase: it
// signs only once the settings name that passphrase's file, and never while
// others can read it.
TEST(CliKey, AnImportedKeySignsOnlyWithItsPassphraseAndAPrivateFile)
{
    CliRuns cli;
    ASSERT_EQ(cli({"init"}).exitCode, 0);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const TestIdentity authority =
        makeIdentity(QStringLiteral("Ayuntamiento"), now.addDays(-1), now.addYears(2), nullptr, true);
    const TestIdentity office =
        makeIdentity(QStringLiteral("Ayuntamiento"), now.addDays(-1), now.addYears(1), &authority);
    const QString p12 = writeFile(cli, "oficina.p12", pkcs12(office, "caballo grapa"));
    const QString wrong = writeFile(cli, "mala.txt", "caballo\n");
    EXPECT_EQ(cli({"key", "import", p12, "--passphrase-file", wrong}).exitCode, 1);
    const QString blank = writeFile(cli, "vacia.txt", "\ncaballo grapa\n");
    const CliResult empty = cli({"key", "import", p12, "--passphrase-file", blank});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_TRUE(empty.err.contains("vacia.txt")) << qPrintable(empty.err);
    EXPECT_TRUE(jsonOf(cli({"key", "show", "--json"})).value("key").isNull());

    const QString passphrase = writeFile(cli, "frase.txt", "caballo grapa\r\n");
    const CliResult imported = cli({"key", "import", p12, "--passphrase-file", passphrase});
    ASSERT_EQ(imported.exitCode, 0) << qPrintable(imported.err);
    EXPECT_TRUE(imported.err.contains("KeyPassphraseFile")) << qPrintable(imported.err);
    const CliResult locked = cli({"key", "show", "--json"});
    EXPECT_EQ(locked.exitCode, 1);
    EXPECT_EQ(jsonOf(locked).value("key").toObject().value("organization").toString(), QStringLiteral("Ayuntamiento"));
    EXPECT_FALSE(jsonOf(locked).value("key").toObject().value("usable").toBool());

    ASSERT_EQ(cli({"config", "set", "KeyPassphraseFile", passphrase}).exitCode, 0);
    const CliResult usable = cli({"key", "show"});
    EXPECT_EQ(usable.exitCode, 0) << qPrintable(usable.err);
    EXPECT_TRUE(usable.out.contains(tvq52::ssl::describe(office.cert.get()).fingerprint)) << qPrintable(usable.out);

    const QString key = cli.home.file(QStringLiteral("keys/key.pem"));
    ASSERT_TRUE(QFile::setPermissions(key, QFile::permissions(key) | QFile::ReadGroup | QFile::ReadOther));
    const CliResult refused = cli({"key", "show", "--json"});
    EXPECT_EQ(refused.exitCode, 1);
    const QJsonObject shown = jsonOf(refused).value("key").toObject();
    EXPECT_FALSE(shown.value("usable").toBool());
    EXPECT_TRUE(shown.value("problem").toString().contains("chmod 600")) << qPrintable(refused.out);
    EXPECT_TRUE(refused.err.startsWith("tvq52-cli: ")) << qPrintable(refused.err);
}

// Another office's certificate and an authority for one organization are
// trusted, listed and removed by fingerprint or a prefix of it.
TEST(CliTrust, AddsListsAndRemovesOfficesAndAuthorities)
{
    CliRuns other;
    ASSERT_EQ(other({"key", "create", "--name", "Oficina Sur"}).exitCode, 0);
    const QString office = other.home.file(QStringLiteral("sur.pem"));
    ASSERT_EQ(other({"key", "certificate", office}).exitCode, 0);
    const QString officePrint =
        jsonOf(other({"key", "show", "--json"})).value("key").toObject().value("fingerprint").toString();

    CliRuns cli;
    ASSERT_EQ(cli({"key", "create"}).exitCode, 0);
    const CliResult added = cli({"trust", "add", office});
    ASSERT_EQ(added.exitCode, 0) << qPrintable(added.err);
    EXPECT_TRUE(added.out.contains(officePrint)) << qPrintable(added.out);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString authority = writeFile(
        cli, "ca.pem",
        makeIdentity(QStringLiteral("Ayuntamiento"), now.addDays(-1), now.addYears(1), nullptr, true).certificatePem());
    const CliResult ca = cli({"trust", "add", "--ca", authority, "--organization", "Ayuntamiento"});
    ASSERT_EQ(ca.exitCode, 0) << qPrintable(ca.err);

    const QJsonArray listed = jsonOf(cli({"trust", "list", "--json"})).value("certificates").toArray();
    ASSERT_EQ(listed.size(), 3);
    int own = 0, authorities = 0;
    for (const QJsonValue& v : listed) {
        const QJsonObject o = v.toObject();
        own += o.value("own").toBool();
        authorities += o.value("authority").toBool();
        if (o.value("authority").toBool())
            EXPECT_EQ(o.value("trustedFor").toString(), QStringLiteral("Ayuntamiento"));
        else
            EXPECT_TRUE(o.value("trustedFor").isNull());
    }
    EXPECT_EQ(own, 1);
    EXPECT_EQ(authorities, 1);

    EXPECT_EQ(cli({"trust", "remove", officePrint.left(12).toUpper()}).exitCode, 0);
    const CliResult gone = cli({"trust", "remove", officePrint});
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_TRUE(gone.err.contains(officePrint)) << qPrintable(gone.err);
    EXPECT_FALSE(cli({"trust", "list"}).out.contains(officePrint));
    EXPECT_EQ(jsonOf(cli({"trust", "list", "--json"})).value("certificates").toArray().size(), 2);
}

// Words the commands cannot take are refused as usage, before the data
// folder is laid out.
TEST(CliKey, MisusedWordsAreUsageErrors)
{
    CliRuns cli;
    for (const QStringList& args : {QStringList{"key"},
                                    {"key", "make"},
                                    {"key", "show", "--name", "x"},
                                    {"key", "import"},
                                    {"key", "certificate", "a.pem", "b.pem"},
                                    {"key", "create", "--json"},
                                    {"trust", "add", "--ca", "a.pem"},
                                    {"trust", "add", "a.pem", "--organization", "Ayuntamiento"},
                                    {"trust", "add", "--ca", "a.pem", "--organization", " "},
                                    {"trust", "remove", "abc"},
                                    {"trust", "remove", "zz000000"},
                                    {"trust", "list", "--ca"}}) {
        const CliResult r = cli(args);
        EXPECT_EQ(r.exitCode, 2) << qPrintable(args.join(' ') + ": " + r.err);
        EXPECT_TRUE(r.err.startsWith("tvq52-cli: ")) << qPrintable(r.err);
        EXPECT_TRUE(QDir(cli.home.path()).isEmpty()) << qPrintable(args.join(' '));
    }
}
