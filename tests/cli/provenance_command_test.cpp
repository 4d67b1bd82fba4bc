#include "cli_run.h"
#include "db/store.h"
#include "support/rows.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace tvq52;
using namespace tvq52::test;

namespace {

QJsonObject document(const CliResult& r)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << qPrintable(error.errorString() + "\n" + r.out);
    return doc.object();
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The newest journal entry of a folder, as `journal --json` gives it.
QJsonObject newestEntry(const CliRuns& cli)
{
    return document(cli({"journal", "--json"})).value("entries").toArray().at(0).toObject();
}

// One office exports a unit whose records an import stored; others import
// the file as it was sent, changed on the way, and without its provenance.
TEST(ProvenanceCommands, TheImportChecksTheFileAndTheJournalShowsWhereItCameFrom)
{
    CliRuns from;
    from.home.provision();
    {
        auto db = from.home.openDatabase();
        ASSERT_TRUE(Store(*db).insert("Programacion", row({{"LNumeroSerie", 52001}})));
    }
    from.home.writeFile(QStringLiteral("first.TQ52"),
                        "//DiaBorrado//\r\nLNumeroSerie;DFecha;THora\r\n"
                        "52001;2024-05-01;\"10:00\"\r\n52001;2024-05-02;\"10:00\"\r\n");
    ASSERT_EQ(from({"import", from.home.file(QStringLiteral("first.TQ52"))}).exitCode, 0);
    const QJsonObject sourceJournal = document(from({"journal", "--json"}));
    const QString sourceHead = sourceJournal.value("head").toString();
    const QJsonObject sourceEntry = sourceJournal.value("entries").toArray().at(0).toObject();
    const QString file = from.home.file(QStringLiteral("unit.TQ52"));
    ASSERT_EQ(from({"export", file, "52001"}).exitCode, 0);
    const QByteArray sent = contents(file);

    CliRuns to;
    to.home.provision();
    const CliResult imported = to({"import", file});
    EXPECT_EQ(imported.exitCode, 0) << imported.err.toStdString();
    EXPECT_TRUE(imported.out.contains(sourceHead)) << imported.out.toStdString();
    const QJsonObject provenance = newestEntry(to).value("provenance").toObject();
    EXPECT_EQ(provenance.value("head").toString(), sourceHead);
    EXPECT_TRUE(provenance.value("matches").toBool());
    EXPECT_EQ(provenance.value("digest").toString().size(), 64);
    const QJsonArray entries = provenance.value("entries").toArray();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].toObject().value("entry").toInteger(), sourceEntry.value("id").toInteger());
    EXPECT_EQ(entries[0].toObject().value("hash").toString(), sourceEntry.value("hash").toString());
    EXPECT_EQ(entries[0].toObject().value("records").toInt(), 2);
    const CliResult listed = to({"journal"});
    EXPECT_TRUE(listed.out.contains(QStringLiteral("(matches), written "))) << listed.out.toStdString();
    EXPECT_TRUE(listed.out.contains(QStringLiteral("source entry #%1").arg(sourceEntry.value("id").toInteger())));
    EXPECT_EQ(to({"verify"}).exitCode, 0);

    // One byte of a record changed: the rows are added, the run fails and says why.
    QByteArray changed = sent;
    changed[changed.indexOf("2024-05-02") + 9] = '9';
    CliRuns tampered;
    tampered.home.provision();
    tampered.home.writeFile(QStringLiteral("changed.TQ52"), changed);
    const CliResult refused = tampered({"import", tampered.home.file(QStringLiteral("changed.TQ52")), "--json"});
    EXPECT_EQ(refused.exitCode, 1);
    const QJsonObject summary = document(refused);
    EXPECT_FALSE(summary.value("succeeded").toBool());
    ASSERT_EQ(summary.value("errors").toArray().size(), 1);
    EXPECT_TRUE(refused.err.contains(summary.value("errors").toArray().at(0).toString()));
    {
        auto db = tampered.home.openDatabase();
        EXPECT_EQ(Store(*db).count("DiaBorrado"), 2);
    }
    const QJsonObject changedEntry = newestEntry(tampered);
    EXPECT_FALSE(changedEntry.value("provenance").toObject().value("matches").toBool());
    EXPECT_TRUE(changedEntry.value("message").toString().contains(summary.value("errors").toArray().at(0).toString()));
    EXPECT_TRUE(tampered({"journal"}).out.contains(QStringLiteral("(differs, read ")));

    // Without the section, as an older program writes it: as before.
    CliRuns older;
    older.home.provision();
    older.home.writeFile(QStringLiteral("old.TQ52"), sent.left(sent.indexOf("//Procedencia//")));
    const CliResult plain = older({"import", older.home.file(QStringLiteral("old.TQ52"))});
    EXPECT_EQ(plain.exitCode, 0) << plain.err.toStdString();
    EXPECT_FALSE(plain.err.contains(QStringLiteral("SHA-256"))) << plain.err.toStdString();
    EXPECT_FALSE(plain.out.contains(sourceHead)) << "no provenance line";
    EXPECT_TRUE(newestEntry(older).value("provenance").isNull());
    EXPECT_FALSE(older({"journal"}).out.contains(QStringLiteral("provenance")));
}

} // namespace
