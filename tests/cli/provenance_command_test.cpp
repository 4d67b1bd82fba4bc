#include "cli_run.h"
#include "db/store.h"
#include "support/file_bytes.h"
#include "support/result_checks.h"
#include "support/rows.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace tvq52;
using namespace tvq52::test;

namespace {

// The newest journal entry of a folder, as `journal --json` gives it.
QJsonObject newestEntry(const CliRuns& cli)
{
    return jsonOf(cli({"journal", "--json"})).value("entries").toArray().at(0).toObject();
}

// One office exports a unit an import stored; others import the file as it
// was sent, changed on the way, and without its provenance.
TEST(ProvenanceCommands, TheImportChecksTheFileAndTheJournalShowsWhereItCameFrom)
{
    CliRuns from;
    from.home.provision();
    ASSERT_TRUE(Store(*from.home.openDatabase()).insert("Programacion", row({{"LNumeroSerie", 52001}})));
    from.home.writeFile(QStringLiteral("first.TQ52"),
                        "//DiaBorrado//\r\nLNumeroSerie;DFecha;THora\r\n"
                        "52001;2024-05-01;\"10:00\"\r\n52001;2024-05-02;\"10:00\"\r\n");
    ASSERT_EQ(from({"import", from.home.file(QStringLiteral("first.TQ52"))}).exitCode, 0);
    const QJsonObject sourceEntry = newestEntry(from);
    const QString file = from.home.file(QStringLiteral("unit.TQ52"));
    ASSERT_EQ(from({"export", file, "52001"}).exitCode, 0);
    const QByteArray sent = tvq52::test::readBytes(file);
    const auto importInto = [](const CliRuns& to, const QByteArray& bytes) {
        to.home.provision();
        to.home.writeFile(QStringLiteral("in.TQ52"), bytes);
        return to({"import", to.home.file(QStringLiteral("in.TQ52")), "--json"});
    };

    CliRuns to;
    EXPECT_EQ(importInto(to, sent).exitCode, 0);
    const QJsonObject provenance = newestEntry(to).value("provenance").toObject();
    EXPECT_EQ(provenance.value("head").toString(), sourceEntry.value("hash").toString());
    EXPECT_TRUE(provenance.value("matches").toBool());
    const QJsonArray entries = provenance.value("entries").toArray();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].toObject().value("entry").toInteger(), sourceEntry.value("id").toInteger());
    EXPECT_EQ(entries[0].toObject().value("records").toInt(), 2);
    EXPECT_TRUE(to({"journal"}).out.contains(QStringLiteral("(matches), written ")));
    EXPECT_EQ(to({"verify"}).exitCode, 0);

    // One byte of a record changed: the rows are added, the run fails and says why.
    QByteArray changed = sent;
    changed[changed.indexOf("2024-05-02") + 9] = '9';
    CliRuns tampered;
    const CliResult refused = importInto(tampered, changed);
    EXPECT_EQ(refused.exitCode, 1);
    const QJsonArray errors = jsonOf(refused).value("errors").toArray();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(refused.err.contains(errors.at(0).toString()));
    EXPECT_EQ(test::take(Store(*tampered.home.openDatabase()).count("DiaBorrado")), 2);
    EXPECT_TRUE(newestEntry(tampered).value("message").toString().contains(errors.at(0).toString()));
    EXPECT_TRUE(tampered({"journal"}).out.contains(QStringLiteral("(differs, read ")));

    // Without the section, as an older program writes it: as before.
    CliRuns older;
    const CliResult plain = importInto(older, sent.left(sent.indexOf("//Procedencia//")));
    EXPECT_EQ(plain.exitCode, 0) << plain.err.toStdString();
    EXPECT_TRUE(jsonOf(plain).value("errors").toArray().isEmpty());
    EXPECT_TRUE(newestEntry(older).value("provenance").isNull());
}

} // namespace
