#include "db/database.h"
#include "db/row_check.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "exchange/exchange_format.h"
#include "exchange/exchange_import.h"
#include "exchange/exchange_writer.h"
#include "programming/programming_store.h"
#include "support/exchange_lines.h"
#include "support/file_bytes.h"
#include "support/rows.h"
#include "support/temp_home.h"

#include "exchange/exchange_reader.h"
#include "i18n/translator.h"
#include "support/folder_database.h"
#include "support/listed_records.h"
#include "support/private_server.h"
#include "support/result_checks.h"
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QSqlQuery>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

QString q(const char* text)
{
    return QStringLiteral("\"%1\"").arg(QString::fromUtf8(text));
}

class ExchangeImportTest : public FolderDatabaseTest {
protected:
    ImportSummary import(const QByteArray& contents, const QString& name = QStringLiteral("in.TQ52"))
    {
        home.writeFile(name, contents);
        ExchangeImporter importer(*db);
        return importer.run(home.file(name));
    }
    const TableImport& table(const ImportSummary& s, const char* name)
    {
        for (const TableImport& t : s.tables)
            if (t.table == QLatin1String(name))
                return t;
        ADD_FAILURE() << name;
        return s.tables.front();
    }
    // Imports `name` into `office` in batches of 100, the server halted as
    // row `haltAt` is read; `asked` counts the rows read.
    ImportSummary importHaltingAt(const PrivateServer& server, Database& office, const QString& name, qint64 haltAt,
                                  qint64* asked)
    {
        ExchangeImporter importer(office);
        importer.batchRows = 100;
        importer.cancelRequested = [&server, haltAt, asked] {
            if (++*asked == haltAt) {
                EXPECT_TRUE(server.halt());
            }
            return false;
        };
        return importer.run(home.file(name));
    }
    // The rows of `table` once the server is back.
    static qint64 storedOnceBack(const PrivateServer& server, const char* table)
    {
        EXPECT_TRUE(server.resume());
        auto check = server.open();
        return check ? test::take(Store(*check).count(QString::fromLatin1(table))) : -1;
    }
    Translator translator;
    Row only(const char* table, qint32 serial)
    {
        const QList<Row> rows = test::take(store->select(QString::fromLatin1(table), row({{"LNumeroSerie", serial}})));
        EXPECT_EQ(rows.size(), 1) << table;
        return rows.value(0);
    }
};

TEST_F(ExchangeImportTest, SameFileTwiceAddsNothingAndTheFirstRowOfAKeyWins)
{
    const QByteArray file = sectionStart("Sesiones")
        + dataLine("Sesiones",
                   {{"DFechaInicio", "2024-03-05 22:00:00"}, {"DFechaFinal", "2024-03-06 06:00:00"}, {"SLeq", "70.5"}})
        + dataLine("Sesiones",
                   {{"DFechaInicio", "2024-03-05 22:00:00"}, {"DFechaFinal", "2024-03-06 07:00:00"}, {"SLeq", "99"}})
        + dataLine("Sesiones", {{"DFechaInicio", "2024-03-06 22:00:00"}});
    const ImportSummary first = import(file);
    EXPECT_EQ(table(first, "Sesiones").added, 2);
    EXPECT_EQ(table(first, "Sesiones").differs, 1);
    const Row kept = test::take(store->selectOne(QStringLiteral("Sesiones"),
                                                 row({{"LNumeroSerie", 7001}, {"DFechaInicio", QDate(2024, 3, 5)}})))
                         .value_or(Row());
    EXPECT_FLOAT_EQ(kept.value(QStringLiteral("SLeq")).toFloat(), 70.5f);
    EXPECT_EQ(kept.value(QStringLiteral("THoraInicio")).toString(), QStringLiteral("22:00"));
    EXPECT_EQ(kept.value(QStringLiteral("THoraFinal")).toString(), QStringLiteral("06:00"));

    const ImportSummary second = import(file);
    EXPECT_EQ(table(second, "Sesiones").added, 0);
    EXPECT_EQ(table(second, "Sesiones").present, 2);
    EXPECT_EQ(test::take(store->count(QStringLiteral("Sesiones"))), 2);
}

TEST_F(ExchangeImportTest, IgnoredLinesAndSectionsCreateNoFile)
{
    const QStringList before = QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    const QByteArray file = QByteArray("stray line;1;2\r\n") + "//../../evil.csv//\r\nLNumeroSerie\r\n1\r\n"
        + "//Desconocida//\r\na;b\r\n" + sectionStart("DiaBorrado") + dataLine("DiaBorrado", {{"THora", q("10:00")}});
    const ImportSummary s = import(file);
    EXPECT_EQ(table(s, "DiaBorrado").added, 1);
    EXPECT_EQ(s.ignoredSections, (QStringList{QStringLiteral("../../evil.csv"), QStringLiteral("Desconocida")}));
    EXPECT_EQ(s.ignoredLines, 4);
    QStringList after = QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    after.removeAll(QStringLiteral("in.TQ52"));
    for (const QString& name : after)
        EXPECT_TRUE(before.contains(name) || name.endsWith(QLatin1String("-wal"))
                    || name.endsWith(QLatin1String("-shm")) || name.endsWith(QLatin1String("-journal")))
            << name.toStdString();
    EXPECT_FALSE(QFile::exists(home.file(QStringLiteral("../../evil.csv"))));
}

TEST_F(ExchangeImportTest, BadRowsAndACutLastLineAreRefusedWithTheirLinesAndNeighboursImported)
{
    ASSERT_TRUE(store->insert(QStringLiteral("Programacion"), row({{"LNumeroSerie", 10}, {"TLocal", "Bar Viejo"}})));
    QByteArray file = sectionStart("Programacion");                                         // lines 1-2
    file += dataLine("Programacion", {{"LNumeroSerie", "10"}, {"TLocal", q("Bar Nuevo")}}); // 3: present
    file += dataLine("Programacion", {{"LNumeroSerie", "11"}, {"ByTLeq", "abc"}});          // 4
    file += dataLine("Programacion", {{"LNumeroSerie", "12"}});                             // 5
    file += dataLine("Programacion", {{"LNumeroSerie", "13"}, {"ByRings", "256"}});         // 6
    file += dataLine("Programacion", {{"LNumeroSerie", "14"}, {"DFecha", "2024-02-30"}});   // 7
    file += dataLine("Programacion", {{"LNumeroSerie", "15"}, {"TModelo", q("TOOLONG")}});  // 8
    file += dataLine("Programacion", {{"LNumeroSerie", "16"}, {"CMI", "yes"}});             // 9
    file += dataLine("Programacion", {{"LNumeroSerie", "17"}});                             // 10
    // A NUL is read past on neither backend, in a number nor in a text.
    const QString nul(QChar(0));
    file += dataLine("Programacion", {{"LNumeroSerie", "12345" + nul + nul + "6"}});       // 11
    file += dataLine("Programacion", {{"LNumeroSerie", "19"}, {"TLocal", "\"Bar" + nul + "\""}}); // 12
    file += dataLine("Programacion", {{"LNumeroSerie", "18"}}).left(40);                    // 13, cut
    const ImportSummary s = import(file);
    const TableImport& t = table(s, "Programacion");
    EXPECT_EQ(t.added, 2);
    EXPECT_EQ(t.differs, 1);
    EXPECT_EQ(t.refused, 8);
    QList<qint64> lines;
    for (const Refusal& r : t.firstRefused)
        lines << r.line;
    EXPECT_EQ(lines, (QList<qint64>{4, 6, 7, 8, 9}));
    ASSERT_EQ(t.firstRefused.size(), 5);
    EXPECT_EQ(t.firstRefused[0].kind, Refusal::Kind::NotANumber);
    EXPECT_EQ(t.firstRefused[1].kind, Refusal::Kind::OutOfRange);
    EXPECT_EQ(t.firstRefused[2].kind, Refusal::Kind::NotADate);
    EXPECT_EQ(t.firstRefused[3].kind, Refusal::Kind::TooLong);
    EXPECT_EQ(t.firstRefused[4].kind, Refusal::Kind::NotABit);
    EXPECT_EQ(only("Programacion", 10).value(QStringLiteral("TLocal")).toString(), QStringLiteral("Bar Viejo"));
    EXPECT_EQ(test::take(store->count(QStringLiteral("Programacion"))), 3);

    ExchangeImporter keepAll(*db);
    keepAll.keptRefusals = 10;
    home.writeFile(QStringLiteral("cut.TQ52"), file);
    const ImportSummary again = keepAll.run(home.file(QStringLiteral("cut.TQ52")));
    const QList<Refusal>& all = table(again, "Programacion").firstRefused;
    ASSERT_EQ(all.size(), 8);
    EXPECT_EQ(all.last().line, 13);
    EXPECT_EQ(all.last().kind, Refusal::Kind::CutLine);
    for (const Refusal& r : {all[5], all[6]})
        EXPECT_EQ(r.kind, Refusal::Kind::ControlCharacter) << r.line;
    EXPECT_EQ(all[6].column, QStringLiteral("TLocal"));
}

// Every accepted way of writing the same values must store the same row.
TEST_F(ExchangeImportTest, EveryAcceptedTextFormStoresTheSameValues)
{
    struct Form {
        const char* name;
        const char* eol;
        Fields prog;
        Fields session;
        Fields inhabil;
        bool bom;
    };
    const QString note = q("line one\r\n//not a section;\r\nend");
    const std::vector<Form> forms = {
        {"canonical CRLF",
         "\r\n",
         {{"SOctava31,5Hz", "59.5"}, {"BoImpresion", "1"}, {"CMI", "0"}, {"DFecha", "2024-03-05"}, {"TNota", note}},
         {{"DFechaInicio", "2024-03-05 22:00:00"}, {"SLeq", "70.25"}},
         {{"THoraEmpiezaInt", q("08:30")}, {"THoraTerminaInt", q("17:00")}},
         false},
        {"comma, -1, dd/mm/yyyy, LF",
         "\n",
         {{"SOctava31,5Hz", "59,5"},
          {"BoImpresion", "-1"},
          {"CMI", "0"},
          {"DFecha", "05/03/2024"},
          {"TNota", QString(note).replace(QLatin1String("\r\n"), QLatin1String("\n"))}},
         {{"DFechaInicio", "05/03/2024 22:00"}, {"SLeq", "70,25"}},
         {{"THoraEmpiezaInt", q("08:30:00")}, {"THoraTerminaInt", "17:00:00"}},
         false},
        {"True/False, UTF-8 with BOM",
         "\r\n",
         {{"SOctava31,5Hz", "59.50"},
          {"BoImpresion", "TRUE"},
          {"CMI", "false"},
          {"DFecha", "2024-03-05 00:00"},
          {"TNota", note}},
         {{"DFechaInicio", "2024-03-05 22:00"}, {"SLeq", "70.250"}},
         {{"THoraEmpiezaInt", "08:30"}, {"THoraTerminaInt", "1899-12-30 17:00:00"}},
         true},
    };
    std::optional<std::vector<Row>> first;
    for (const Form& f : forms) {
        TempHome other;
        other.provision();
        auto otherDb = other.openDatabase();
        QByteArray file = f.bom ? QByteArray("\xEF\xBB\xBF") : QByteArray();
        file += sectionStart("Programacion", f.eol) + dataLine("Programacion", f.prog, f.eol);
        file += sectionStart("Sesiones", f.eol) + dataLine("Sesiones", f.session, f.eol);
        file += sectionStart("IntervaloInhabil", f.eol) + dataLine("IntervaloInhabil", f.inhabil, f.eol);
        other.writeFile(QStringLiteral("f.TQ52"), file);
        ExchangeImporter importer(*otherDb);
        const ImportSummary s = importer.run(other.file(QStringLiteral("f.TQ52")));
        for (const TableImport& t : s.tables)
            EXPECT_EQ(t.refused, 0) << f.name << ' ' << t.table.toStdString();
        Store st(*otherDb);
        std::vector<Row> rows;
        for (const char* t : {"Programacion", "Sesiones", "IntervaloInhabil"}) {
            const QList<Row> found = test::take(st.select(QString::fromLatin1(t)));
            ASSERT_EQ(found.size(), 1) << f.name << ' ' << t;
            rows.push_back(found[0]);
        }
        EXPECT_EQ(rows[0].value(QStringLiteral("TNota")).toString().count(QLatin1Char('\n')), 2) << f.name;
        EXPECT_FLOAT_EQ(rows[0].value(QStringLiteral("SOctava31,5Hz")).toFloat(), 59.5f) << f.name;
        EXPECT_TRUE(rows[0].value(QStringLiteral("BoImpresion")).toBool()) << f.name;
        EXPECT_EQ(rows[2].value(QStringLiteral("THoraEmpiezaInt")).toString(), QStringLiteral("08:30")) << f.name;
        if (!first) {
            first = rows;
            continue;
        }
        for (size_t i = 0; i < rows.size(); ++i)
            for (const QString& c : rows[i].columns()) {
                if (c == QLatin1String("TNota"))
                    continue; // its line ends follow the file's
                EXPECT_EQ(rows[i].value(c), (*first)[i].value(c)) << f.name << ' ' << c.toStdString();
            }
    }
}

TEST_F(ExchangeImportTest, Windows1252AccentsAndQuotedSemicolonsArriveExactly)
{
    // ª º € · ’ in Windows-1252 bytes.
    const QByteArray local = "\"Bar \xAA \xBA \x80 \xB7 O'Neill;s\"";
    const QByteArray contact = "\"Jos\xE9 \x93Pepe\x94\"";
    QByteArray file = sectionStart("Programacion");
    QByteArray line = dataLine("Programacion", {{"TLocal", "LOCAL"}, {"TContacto", "CONTACT"}});
    line.replace("LOCAL", local).replace("CONTACT", contact);
    file += line;
    const ImportSummary s = import(file);
    EXPECT_EQ(table(s, "Programacion").added, 1);
    const Row r = only("Programacion", 7001);
    EXPECT_EQ(r.value(QStringLiteral("TLocal")).toString(), QString::fromUtf8("Bar ª º € · O'Neill;s"));
    EXPECT_EQ(r.value(QStringLiteral("TContacto")).toString(), QString::fromUtf8("José “Pepe”"));
}

// Texts that mean something inside a server's array or statement text.
TEST_F(ExchangeImportTest, TextsWithEscapesAndPlaceholdersArriveAsTyped)
{
    const char* texts[] = {"C:\\bar\\", "NULL", "{a,b}", "\"q\" \\\"", "$1 ?", "  ", "'; --"};
    QByteArray file = sectionStart("Programacion");
    int serial = 300;
    for (const char* t : texts) {
        QString quoted = QString::fromUtf8(t);
        quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
        file += dataLine(
            "Programacion",
            {{"LNumeroSerie", QString::number(serial++)}, {"TLocal", QLatin1Char('"') + quoted + QLatin1Char('"')}});
    }
    const ImportSummary s = import(file);
    EXPECT_EQ(table(s, "Programacion").added, qint64(std::size(texts)));
    serial = 300;
    for (const char* t : texts)
        EXPECT_EQ(only("Programacion", serial++).value(QStringLiteral("TLocal")).toString(), QString::fromUtf8(t)) << t;
}

// However the rows fall into batches, a key given again counts against the
// first row the file gave for it, or against the row already stored.
TEST_F(ExchangeImportTest, RepeatedKeysCountTheSameWhereverTheBatchesSplit)
{
    auto session = [](const char* day, const char* leq) {
        return dataLine("Sesiones",
                        {{"DFechaInicio", QStringLiteral("%1 22:00:00").arg(QLatin1String(day))},
                         {"DFechaFinal", QStringLiteral("%1 23:00:00").arg(QLatin1String(day))},
                         {"SLeq", QString::fromLatin1(leq)}});
    };
    const QByteArray stored = sectionStart("Sesiones") + session("2024-03-01", "50");
    const QByteArray file = sectionStart("Sesiones") + session("2024-03-01", "50") // present
        + session("2024-03-02", "60")                                              // added
        + session("2024-03-02", "60")                                              // present: as the file's first
        + session("2024-03-01", "51")                                              // differs from the stored row
        + session("2024-03-03", "70")                                              // added
        + session("2024-03-02", "61")                                              // differs from the file's first
        + session("2024-03-03", "70")                                              // present
        + session("2024-03-04", "80");                                             // added
    for (const int batch : {1, 2, 3, 5000}) {
        TempHome other;
        other.provision();
        auto otherDb = other.openDatabase();
        other.writeFile(QStringLiteral("a.TQ52"), stored);
        other.writeFile(QStringLiteral("b.TQ52"), file);
        ExchangeImporter first(*otherDb);
        ASSERT_EQ(table(first.run(other.file(QStringLiteral("a.TQ52"))), "Sesiones").added, 1);
        ExchangeImporter importer(*otherDb);
        importer.batchRows = batch;
        const TableImport t = table(importer.run(other.file(QStringLiteral("b.TQ52"))), "Sesiones");
        EXPECT_EQ(t.added, 3) << batch;
        EXPECT_EQ(t.present, 3) << batch;
        EXPECT_EQ(t.differs, 2) << batch;
        Store st(*otherDb);
        for (const auto& [day, leq] : {std::pair{1, 50.0f}, std::pair{2, 60.0f}, std::pair{3, 70.0f}}) {
            const auto r = test::take(st.selectOne(
                QStringLiteral("Sesiones"), row({{"LNumeroSerie", 7001}, {"DFechaInicio", QDate(2024, 3, day)}})));
            ASSERT_TRUE(r.has_value()) << batch << ' ' << day;
            EXPECT_FLOAT_EQ(r->value(QStringLiteral("SLeq")).toFloat(), leq) << batch << ' ' << day;
        }
    }
}

// The progress counts the table being read apart from the whole file.
TEST_F(ExchangeImportTest, ProgressCountsTheTableBeingReadApartFromTheFile)
{
    QByteArray file;
    for (const char* section : {"DiaBorrado", "DiaFinalBateria"}) {
        file += sectionStart(section);
        for (int i = 0; i < 300; ++i)
            file += dataLine(section, {{"DFecha", QDate(2024, 1, 1).addDays(i).toString(Qt::ISODate)},
                                       {"THora", q("10:00")}});
    }
    home.writeFile(QStringLiteral("p.TQ52"), file);
    ExchangeImporter importer(*db);
    std::vector<ImportProgress> seen;
    importer.onProgress = [&](const ImportProgress& p) { seen.push_back(p); };
    importer.run(home.file(QStringLiteral("p.TQ52")));
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().table, QStringLiteral("DiaFinalBateria"));
    EXPECT_EQ(seen.back().tableRows, 300);
    EXPECT_EQ(seen.back().rows, 600);
    EXPECT_TRUE(progressText(seen.back(), translator).startsWith(
        QString::fromUtf8("DiaFinalBateria: 300 filas leídas; en total 600 leídas, 600 añadidas, ")));
}

TEST_F(ExchangeImportTest, CancelKeepsEveryRowHandledAndNothingElse)
{
    QByteArray file = sectionStart("DiaBorrado");
    for (int i = 0; i < 50; ++i)
        file += dataLine("DiaBorrado",
                         {{"DFecha", QDate(2024, 1, 1).addDays(i).toString(Qt::ISODate)}, {"THora", q("10:00")}});
    home.writeFile(QStringLiteral("c.TQ52"), file);
    ExchangeImporter importer(*db);
    importer.batchRows = 7;
    int asked = 0;
    importer.cancelRequested = [&] { return ++asked > 20; };
    const ImportSummary s = importer.run(home.file(QStringLiteral("c.TQ52")));
    EXPECT_TRUE(s.cancelled);
    EXPECT_EQ(table(s, "DiaBorrado").added, 20);
    EXPECT_EQ(test::take(store->count(QStringLiteral("DiaBorrado"))), 20);
    // No transaction left open: another connection sees the rows.
    auto other = home.openDatabase();
    EXPECT_EQ(test::take(Store(*other).count(QStringLiteral("DiaBorrado"))), 20);
}

TEST_F(ExchangeImportTest, TheRecordsAddedAreJournaledWithTheFilesHash)
{
    const QByteArray file = sectionStart("Sesiones")
        + dataLine("Sesiones", {{"DFechaInicio", "2024-03-05 22:00:00"}, {"SLeq", "70.04"}})
        + dataLine("Sesiones", {{"DFechaInicio", "2024-03-06 22:00:00"}}) + sectionStart("DiaBorrado")
        + dataLine("DiaBorrado", {{"DFecha", "2024-03-01"}, {"THora", q("09:00")}}) + sectionStart("Programacion")
        + dataLine("Programacion", {});
    const ImportSummary first = import(file);
    ASSERT_TRUE(first.opened) << first.error.toStdString();
    EXPECT_EQ(table(first, "Sesiones").added, 2);
    Journal journal(*db);
    const QList<JournalEntry> entries = journal.entries().value();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].action, JournalAction::Import);
    EXPECT_EQ(entries[0].id, first.journalEntry);
    EXPECT_EQ(entries[0].outcome, QStringLiteral("completed"));
    EXPECT_EQ(entries[0].source, QCryptographicHash::hash(file, QCryptographicHash::Sha256).toHex());
    EXPECT_EQ(first.journalHead, journal.head().value());
    JournalVerification v = journal.verify();
    EXPECT_TRUE(v.findings.isEmpty()) << v.findings.value(0).key.toStdString() << ": "
                                      << v.findings.value(0).detail.toStdString();
    EXPECT_EQ(v.recordsChecked, 3);
    EXPECT_EQ(test::listedRecords(*db, first.journalEntry),
              (QStringList{QStringLiteral("Sesiones 7001 2024-03-05 22:00"),
                           QStringLiteral("Sesiones 7001 2024-03-06 22:00"),
                           QStringLiteral("DiaBorrado 7001 2024-03-01 09:00")}));

    // Again: nothing added, nothing listed, everything still verifies.
    const ImportSummary second = import(file);
    EXPECT_EQ(table(second, "Sesiones").added, 0);
    EXPECT_TRUE(journal.verify().findings.isEmpty());

    // A level edited by a few hundredths, and a row that no import stored.
    QSqlQuery edit(db->connection());
    ASSERT_TRUE(edit.exec(QStringLiteral("UPDATE \"Sesiones\" SET \"SLeq\" = 70 WHERE \"SLeq\" > 70")));
    ASSERT_TRUE(store->insert(QStringLiteral("DiaBorrado"),
                              row({{"LNumeroSerie", 7001}, {"DFecha", QDate(2024, 3, 2)}, {"THora", "09:00"}})));
    v = journal.verify();
    QSet<JournalFinding::Kind> kinds;
    for (const JournalFinding& f : v.findings)
        kinds.insert(f.kind);
    EXPECT_EQ(kinds, (QSet{JournalFinding::Kind::RecordEdited, JournalFinding::Kind::NoProvenance}));
}

TEST_F(ExchangeImportTest, TheProgramsOwnDatabaseIsNeverReadAsAFile)
{
    if (db->isServer())
        GTEST_SKIP() << "the records are on a server";
    ExchangeImporter importer(*db);
    const ImportSummary s = importer.run(db->path());
    EXPECT_FALSE(s.opened);
    EXPECT_TRUE(s.error.contains(QStringLiteral("own database"))) << s.error.toStdString();
    EXPECT_TRUE(Journal(*db).entries().value().isEmpty());
}

TEST_F(ExchangeImportTest, AFileThatCannotBeOpenedIsReported)
{
    ExchangeImporter importer(*db);
    const ImportSummary s = importer.run(home.file(QStringLiteral("missing.TQ52")));
    EXPECT_FALSE(s.opened);
    EXPECT_FALSE(s.error.isEmpty());
}

// The most characters a column holds, of every kind a file must carry; a
// note longer than a file may carry, as the programming window can give it.
QString longestText(const ColumnDef& c)
{
    const QList<char32_t> kinds{U'ª', U';', U'"', U'\r', U'\n', U'/', U'/', U'€', U'🎵'};
    QString text;
    for (int k = 0; k < maxTextChars(c) + (c.width > 0 ? 0 : 10); ++k)
        text += QString::fromUcs4(&kinds[k % kinds.size()], 1);
    return text;
}

TEST_F(ExchangeImportTest, ExportThenImportRoundTripsEveryColumnOfAUnit)
{
    const qint32 unit = 515;
    // Singles at the edges of their shortest texts, the first of them in the file.
    const float max = std::numeric_limits<float>::max();
    const std::vector<float> edges{0.1f, 32.9f, 1e-7f, -0.0f, max, -max};
    size_t edge = 0;
    auto fill = [&](const char* table, int variant) {
        const TableDef* t = schemaTable(QString::fromLatin1(table));
        Row r;
        int n = variant * 7;
        for (const ColumnDef& c : t->columns) {
            const QString name = QString::fromUtf8(c.name);
            ++n;
            QVariant v;
            switch (c.type) {
            case ColumnType::Long:
                v = name == QLatin1String("LNumeroSerie") ? unit : -100000 - n;
                break;
            case ColumnType::Short:
                v = -n;
                break;
            case ColumnType::Byte:
                v = 200 + (n % 50);
                break;
            case ColumnType::Single:
                v = double(variant == 0 && edge < edges.size() && name != QLatin1String("SL1") ? edges[edge++]
                                                                                              : float(n) / 3.0f);
                break;
            case ColumnType::Boolean:
                v = n % 2 == 0;
                break;
            case ColumnType::Date:
                v = QDate(2023, 12, 31).addDays(n + variant);
                break;
            case ColumnType::Text:
                if (name.startsWith(QLatin1String("THora")))
                    v = QStringLiteral("%1:%2")
                            .arg(n % 24, 2, 10, QLatin1Char('0'))
                            .arg((n * 7 + variant) % 60, 2, 10, QLatin1Char('0'));
                else if (name.startsWith(QLatin1String("TFecha")))
                    v = QStringLiteral("%1/03/2024").arg(n % 28 + 1, 2, 10, QLatin1Char('0'));
                else
                    v = longestText(c);
                break;
            }
            r.set(name, v);
        }
        if (QLatin1String(table) == QLatin1String("IntervaloInhabil"))
            r.set(QStringLiteral("ByIntervalo"), variant + 1);
        if (QLatin1String(table) == QLatin1String("Intervalos") || QLatin1String(table) == QLatin1String("Sesiones"))
            r.set(QStringLiteral("SL1"), QVariant()); // an empty value travels too
        ASSERT_TRUE(test::succeeded(store->insert(QString::fromLatin1(table), r))) << table;
    };
    for (const ExchangeSection& s : exchangeSections())
        for (int v = 0; v < (s.name == QLatin1String("Programacion") ? 1 : 2); ++v)
            fill(s.name.toLatin1().constData(), v);

    const Result<qint64> rows = writeExchangeFile(*db, home.file(QStringLiteral("out.TQ52")), {unit});
    ASSERT_TRUE(rows) << rows.error().detail.toStdString();
    EXPECT_EQ(*rows, 13);
    ASSERT_EQ(edge, edges.size());
    const QByteArray written = tvq52::test::readBytes(home.file(QStringLiteral("out.TQ52")));
    for (const char* shortest : {";0.1;", ";32.9;", ";1e-07;"})
        EXPECT_TRUE(written.contains(shortest)) << shortest;

    TempHome other;
    other.provision();
    auto otherDb = other.openDatabase();
    ExchangeImporter importer(*otherDb);
    const ImportSummary s = importer.run(home.file(QStringLiteral("out.TQ52")));
    Store otherStore(*otherDb);
    for (const ExchangeSection& sec : exchangeSections()) {
        const TableImport& t = table(s, sec.name.toLatin1().constData());
        EXPECT_EQ(t.refused, 0) << sec.name.toStdString();
        QStringList key;
        for (const char* k : sec.table->key)
            key << QString::fromUtf8(k);
        const QList<Row> a = test::take(store->select(sec.name, {}, key));
        const QList<Row> b = test::take(otherStore.select(sec.name, {}, key));
        ASSERT_EQ(a.size(), b.size()) << sec.name.toStdString();
        for (qsizetype i = 0; i < a.size(); ++i)
            for (const ColumnDef& c : sec.table->columns) {
                const QString name = QString::fromUtf8(c.name);
                EXPECT_EQ(a[i].value(name), b[i].value(name)) << sec.name.toStdString() << ' ' << c.name;
                if (c.type == ColumnType::Text && !name.startsWith(QLatin1String("THora"))
                    && !name.startsWith(QLatin1String("TFecha"))) {
                    EXPECT_EQ(a[i].value(name).toString().toUcs4().size(), maxTextChars(c)) << c.name;
                }
            }
    }
}

QByteArray erasureRows(int from, int count)
{
    QByteArray rows;
    for (int i = from; i < from + count; ++i)
        rows += dataLine("DiaBorrado",
                         {{"DFecha", QDate(2001, 1, 1).addDays(i).toString(Qt::ISODate)}, {"THora", q("10:00")}});
    return rows;
}

// A full disk, a database another program holds locked, a database that can
// only be read: none of them is a refused row. The import stops at once,
// says why, and counts only what the database holds.
TEST_F(ExchangeImportTest, ADatabaseFailureStopsTheImportCountingOnlyWhatWasCommitted)
{
    const QByteArray file = sectionStart("DiaBorrado") + erasureRows(0, 3000);
    std::unique_ptr<Database> holder;
    struct Case {
        const char* name;
        std::function<void()> set, clear;
        DatabaseFailure::Kind kind;
        bool somePassed; // batches before the failure were committed
    };
    std::vector<Case> cases;
    if (onServerBackend()) {
        cases.push_back({"read-only", [&] { exec(*db, QStringLiteral("SET default_transaction_read_only = on")); },
                         [&] { exec(*db, QStringLiteral("SET default_transaction_read_only = off")); },
                         DatabaseFailure::Kind::ReadOnly, false});
    } else {
        cases.push_back({"full",
                         [&] {
                             QSqlQuery q(db->connection());
                             ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA page_count")) && q.next());
                             // Room for a few batches and no more.
                             exec(*db, QStringLiteral("PRAGMA max_page_count = %1").arg(q.value(0).toInt() + 12));
                         },
                         [&] { exec(*db, QStringLiteral("PRAGMA max_page_count = 1073741823")); },
                         DatabaseFailure::Kind::DiskFull, true});
        cases.push_back({"locked",
                         [&] {
                             exec(*db, QStringLiteral("PRAGMA busy_timeout = 50"));
                             holder = home.openDatabase();
                             exec(*holder, QStringLiteral("BEGIN IMMEDIATE"));
                         },
                         [&] {
                             exec(*holder, QStringLiteral("ROLLBACK"));
                             holder.reset();
                             exec(*db, QStringLiteral("PRAGMA busy_timeout = 5000"));
                         },
                         DatabaseFailure::Kind::Locked, false});
        cases.push_back({"read-only", [&] { exec(*db, QStringLiteral("PRAGMA query_only = 1")); },
                         [&] { exec(*db, QStringLiteral("PRAGMA query_only = 0")); }, DatabaseFailure::Kind::ReadOnly,
                         false});
    }
    for (const Case& c : cases) {
        home.writeFile(QStringLiteral("f.TQ52"), file);
        const qint64 before = test::take(store->count(QStringLiteral("DiaBorrado")));
        c.set();
        ExchangeImporter importer(*db);
        importer.batchRows = 100;
        const ImportSummary s = importer.run(home.file(QStringLiteral("f.TQ52")));
        c.clear();
        const TableImport& t = table(s, "DiaBorrado");
        EXPECT_FALSE(s.succeeded()) << c.name;
        EXPECT_EQ(s.failure.kind, c.kind) << c.name << ' ' << s.failure.detail.toStdString();
        // The journal entry is opened first: a database that cannot be written
        // from the start stops the import before its first line.
        if (c.somePassed) {
            EXPECT_GT(s.failedAtLine, 2) << c.name;
        } else {
            EXPECT_EQ(s.failedAtLine, 0) << c.name;
        }
        EXPECT_EQ(t.refused, 0) << c.name;
        EXPECT_EQ(t.added, test::take(store->count(QStringLiteral("DiaBorrado"))) - before) << c.name;
        EXPECT_LT(t.added, 3000) << c.name;
        if (c.somePassed) {
            EXPECT_GT(t.added, 0) << c.name;
        }
        const QStringList lines = summaryLines(s, translator);
        ASSERT_FALSE(lines.isEmpty()) << c.name;
        if (c.somePassed) {
            EXPECT_TRUE(lines[0].contains(QString::number(s.failedAtLine))) << lines[0].toStdString();
        }
        EXPECT_TRUE(lines[0].contains(databaseFailureText(s.failure, translator))) << lines[0].toStdString();

        // Once the database is usable again the same file brings the rest.
        ExchangeImporter again(*db);
        const ImportSummary rest = again.run(home.file(QStringLiteral("f.TQ52")));
        EXPECT_TRUE(rest.succeeded()) << c.name;
        EXPECT_EQ(table(rest, "DiaBorrado").added, 3000 - t.added) << c.name;
        EXPECT_EQ(test::take(store->count(QStringLiteral("DiaBorrado"))), 3000) << c.name;
        exec(*db, QStringLiteral("DELETE FROM \"DiaBorrado\""));
    }
}

// A server that goes away mid-import: no row is retried one by one, none is
// refused, and every row counted as added is on the server.
TEST_F(ExchangeImportTest, AServerStoppedMidImportStopsItAndRefusesNoRow)
{
    if (!onServerBackend())
        GTEST_SKIP() << "a server run only";
    PrivateServer server;
    auto office = server.open();
    ASSERT_TRUE(office);
    home.writeFile(QStringLiteral("big.TQ52"), sectionStart("DiaBorrado") + erasureRows(0, 5000));
    qint64 asked = 0;
    const ImportSummary s = importHaltingAt(server, *office, QStringLiteral("big.TQ52"), 1000, &asked);
    const TableImport& t = table(s, "DiaBorrado");
    EXPECT_EQ(s.failure.kind, DatabaseFailure::Kind::ConnectionLost) << s.failure.detail.toStdString();
    EXPECT_FALSE(s.succeeded());
    EXPECT_EQ(t.refused, 0);
    EXPECT_LT(asked, 5000) << "the file is not read on after the failure";
    // Lost with the server: the batch it was storing and the one being read.
    EXPECT_GT(s.failedAtLine, 800);
    EXPECT_EQ(storedOnceBack(server, "DiaBorrado"), t.added);
}

// Stored keys in the middle of a file, some with other values, and the
// file again: each row counts once as added, present or differing, the
// stored rows keep their values, and the journal holds every row added.
TEST_F(ExchangeImportTest, StoredKeysAmongTheRowsAreCountedOnceAndImportingAgainAddsNothing)
{
    auto sessions = [](int from, int count, int changedUpTo) {
        QByteArray rows = sectionStart("Sesiones");
        for (int i = from; i < from + count; ++i)
            rows += dataLine("Sesiones",
                             {{"DFechaInicio", QDate(2023, 1, 1).addDays(i).toString(Qt::ISODate) + " 22:00:00"},
                              {"SLeq", i < changedUpTo ? "50" : "60.25"}});
        return rows;
    };
    ASSERT_EQ(table(import(sessions(10, 10, 15), QStringLiteral("some.TQ52")), "Sesiones").added, 10);
    const QByteArray file = sessions(0, 40, 0);
    home.writeFile(QStringLiteral("all.TQ52"), file);
    for (const int pass : {1, 2}) {
        ExchangeImporter importer(*db);
        importer.batchRows = 8;
        const ImportSummary s = importer.run(home.file(QStringLiteral("all.TQ52")));
        ASSERT_TRUE(s.succeeded()) << pass;
        const TableImport& t = table(s, "Sesiones");
        EXPECT_EQ(t.added, pass == 1 ? 30 : 0) << pass;
        // Listed whichever way their batch went, each with its stored row's digest.
        const QStringList listed = test::listedRecords(*db, s.journalEntry);
        EXPECT_EQ(listed.size(), t.added) << pass;
        EXPECT_TRUE(listed.filter(QStringLiteral("!")).isEmpty()) << listed.join(QLatin1Char(';')).toStdString();
        EXPECT_EQ(t.present, pass == 1 ? 5 : 35) << pass;
        EXPECT_EQ(t.differs, 5) << pass;
        EXPECT_EQ(t.refused, 0) << pass;
    }
    EXPECT_EQ(test::take(store->count(QStringLiteral("Sesiones"))), 40);
    // Batches of more than one piece of COPY data: the next batch is read
    // while the server still compares the one before.
    home.writeFile(QStringLiteral("many.TQ52"), sessions(0, 3000, 0));
    for (const qint64 added : {2960, 0}) {
        ExchangeImporter importer(*db);
        importer.batchRows = 700;
        const ImportSummary s = importer.run(home.file(QStringLiteral("many.TQ52")));
        ASSERT_TRUE(s.succeeded()) << s.failure.detail.toStdString();
        const TableImport& t = table(s, "Sesiones");
        EXPECT_EQ(t.added, added);
        EXPECT_EQ(t.present, 2995 - added);
        EXPECT_EQ(t.differs, 5);
        EXPECT_EQ(test::listedRecords(*db, s.journalEntry).size(), added);
    }
    const Row kept =
        test::take(store->selectOne(QStringLiteral("Sesiones"), row({{"DFechaInicio", QDate(2023, 1, 12)}})))
            .value_or(Row());
    EXPECT_FLOAT_EQ(kept.value(QStringLiteral("SLeq")).toFloat(), 50.0f) << "a stored row is never changed";
    const Row added =
        test::take(store->selectOne(QStringLiteral("Sesiones"), row({{"DFechaInicio", QDate(2023, 1, 31)}})))
            .value_or(Row());
    EXPECT_FLOAT_EQ(added.value(QStringLiteral("SLeq")).toFloat(), 60.25f);
    const JournalVerification v = Journal(*db).verify();
    EXPECT_TRUE(v.findings.isEmpty()) << v.findings.value(0).detail.toStdString();
    EXPECT_EQ(v.recordsChecked, 3000);
}

// A server that goes away while rows go through the staging table (the
// file's first rows are stored): a failure, and only what was committed counts.
TEST_F(ExchangeImportTest, AServerStoppedWhileStoredKeysAreBeingComparedCountsOnlyWhatWasCommitted)
{
    if (!onServerBackend())
        GTEST_SKIP() << "a server run only";
    PrivateServer server;
    auto office = server.open();
    ASSERT_TRUE(office);
    home.writeFile(QStringLiteral("start.TQ52"), sectionStart("DiaBorrado") + erasureRows(0, 500));
    home.writeFile(QStringLiteral("big.TQ52"), sectionStart("DiaBorrado") + erasureRows(0, 5000));
    ASSERT_TRUE(ExchangeImporter(*office).run(home.file(QStringLiteral("start.TQ52"))).succeeded());
    qint64 asked = 0;
    const ImportSummary s = importHaltingAt(server, *office, QStringLiteral("big.TQ52"), 3000, &asked);
    const TableImport& t = table(s, "DiaBorrado");
    EXPECT_EQ(s.failure.kind, DatabaseFailure::Kind::ConnectionLost) << s.failure.detail.toStdString();
    EXPECT_FALSE(s.succeeded());
    EXPECT_EQ(t.refused, 0);
    EXPECT_GT(s.failedAtLine, 2000);
    EXPECT_LT(s.failedAtLine, 3400);
    EXPECT_GT(t.added, 0);
    EXPECT_EQ(storedOnceBack(server, "DiaBorrado"), 500 + t.added);
}

// The reader never holds more than the longest legal row of a section: a
// longer line is refused with its number from what was read of it.
TEST(ExchangeReaderBounds, ALineLongerThanTheLongestRowIsRefusedFromItsStart)
{
    TempHome home;
    home.provision();
    const ExchangeSection& section = *exchangeSection(QStringLiteral("DiaBorrado"));
    const qint64 limit = longestRowBytes(section);
    QByteArray file = sectionStart("DiaBorrado");
    file += QByteArray("1;").repeated(4 * 1024 * 1024) + "\r\n";    // line 3, 8 MB
    file += dataLine("DiaBorrado", {{"THora", q("10:00")}});        // line 4
    file += "\"" + QByteArray("x\r\n").repeated(200000) + "\"\r\n"; // line 5: an open quote over many lines
    file += dataLine("DiaBorrado", {{"THora", q("11:00")}});        // after it
    home.writeFile(QStringLiteral("long.TQ52"), file);

    ExchangeReader reader;
    const Status opened = reader.open(home.file(QStringLiteral("long.TQ52")));
    ASSERT_TRUE(opened) << opened.error().detail.toStdString();
    reader.setLimits(limit, int(section.fileColumns.size()));
    ExchangeRecord r;
    ASSERT_EQ(take(reader.next(&r)), ExchangeReader::Read::Record);
    EXPECT_EQ(r.kind, ExchangeRecord::Kind::Section);
    ASSERT_EQ(take(reader.next(&r)), ExchangeReader::Read::Record); // the header
    ASSERT_EQ(take(reader.next(&r)), ExchangeReader::Read::Record);
    EXPECT_EQ(r.kind, ExchangeRecord::Kind::TooLong);
    EXPECT_EQ(r.line, 3);
    EXPECT_LT(reader.bytesRead(), 2 * limit + 64 * 1024) << "refused from its start, not read whole";
    ASSERT_EQ(take(reader.next(&r)), ExchangeReader::Read::Record);
    EXPECT_EQ(r.kind, ExchangeRecord::Kind::Fields);
    EXPECT_EQ(r.line, 4);
    EXPECT_EQ(r.fields.size(), 3);
    ASSERT_EQ(take(reader.next(&r)), ExchangeReader::Read::Record);
    EXPECT_EQ(r.kind, ExchangeRecord::Kind::TooLong);
    EXPECT_EQ(r.line, 5);
    ASSERT_EQ(take(reader.next(&r)), ExchangeReader::Read::Record); // after the quoted field's 200000 lines
    EXPECT_EQ(r.kind, ExchangeRecord::Kind::Fields);
    EXPECT_EQ(r.line, 200006);
    EXPECT_EQ(take(reader.next(&r)), ExchangeReader::Read::EndOfFile);

    // The import refuses it with its line and takes the rows around it.
    auto db = home.openDatabase();
    ASSERT_TRUE(db);
    ExchangeImporter importer(*db);
    const ImportSummary s = importer.run(home.file(QStringLiteral("long.TQ52")));
    const TableImport& t = s.tables.front();
    EXPECT_EQ(t.added, 2);
    EXPECT_EQ(t.refused, 2);
    ASSERT_EQ(t.firstRefused.size(), 2);
    EXPECT_EQ(t.firstRefused[0].line, 3);
    EXPECT_EQ(t.firstRefused[0].kind, Refusal::Kind::LineTooLong);
    EXPECT_EQ(t.firstRefused[1].line, 5);
    EXPECT_EQ(t.firstRefused[1].kind, Refusal::Kind::LineTooLong);
}

TEST(ExchangeReaderBounds, AFileWithoutALineEndIsRefusedAndPassedOverInPieces)
{
    TempHome home;
    // Sparse: it costs no disk, and reads as zeros without a line end.
    const QString path = home.file(QStringLiteral("zeros.TQ52"));
    home.writeFile(QStringLiteral("zeros.TQ52"), "//DiaBorrado//\r\nLNumeroSerie;DFecha;THora\r\n");
    ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), 1LL << 28), 0);
    ExchangeReader reader;
    ASSERT_TRUE(reader.open(path).ok());
    const ExchangeSection& section = *exchangeSection(QStringLiteral("DiaBorrado"));
    reader.setLimits(longestRowBytes(section), int(section.fileColumns.size()));
    ExchangeRecord r;
    ASSERT_EQ(take(reader.next(&r)), ExchangeReader::Read::Record);
    ASSERT_EQ(take(reader.next(&r)), ExchangeReader::Read::Record);
    ASSERT_EQ(take(reader.next(&r)), ExchangeReader::Read::Record);
    EXPECT_EQ(r.kind, ExchangeRecord::Kind::TooLong);
    EXPECT_LT(reader.bytesRead(), 1 << 20);
    EXPECT_EQ(take(reader.next(&r)), ExchangeReader::Read::EndOfFile); // the rest passed over, in pieces
}

TEST(ExchangeReaderBounds, FieldsAreSplitNoFurtherThanAskedAndQuotesAreTold)
{
    std::vector<bool> quoted;
    const QStringList three = splitFields(QStringLiteral("1;2;3;4;5;6"), 3, &quoted);
    EXPECT_EQ(three, (QStringList{"1", "2", "3"}));
    const QStringList mixed = splitFields(QStringLiteral("\"\";;\"a;b\";c"), -1, &quoted);
    EXPECT_EQ(mixed, (QStringList{"", "", "a;b", "c"}));
    EXPECT_EQ(quoted, (std::vector<bool>{true, false, true, false}));
}

TEST_F(ExchangeImportTest, AnythingButARegularFileIsRefusedUnread)
{
    const QString fifo = home.file(QStringLiteral("pipe.TQ52"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QDir(home.path()).mkdir(QStringLiteral("folder.TQ52"));
    for (const QString& path : {fifo, home.file(QStringLiteral("folder.TQ52")), QStringLiteral("/dev/zero")}) {
        ExchangeImporter importer(*db);
        const ImportSummary s = importer.run(path);
        EXPECT_TRUE(s.notAFile) << path.toStdString();
        EXPECT_FALSE(s.succeeded()) << path.toStdString();
        EXPECT_EQ(summaryLines(s, translator).size(), 1);
    }
}

TEST_F(ExchangeImportTest, AFileWithoutASectionOfOursIsNotAnExchangeFile)
{
    QByteArray utf16("\xFF\xFE", 2);
    for (const char16_t c : sectionStart("DiaBorrado") + erasureRows(0, 2))
        utf16 += QByteArray(reinterpret_cast<const char*>(&c), 1) + QByteArray(1, '\0');
    QByteArray noise;
    for (int i = 0; i < 5000; ++i)
        noise += char((i * 7919 + 13) % 251);
    for (const QByteArray& contents : {QByteArray(), utf16, noise, QByteArray("//Otra//\r\na;b\r\n")}) {
        const ImportSummary s = import(contents);
        EXPECT_TRUE(s.notExchange) << contents.left(20).toHex().toStdString();
        EXPECT_FALSE(s.succeeded());
        ASSERT_EQ(summaryLines(s, translator).size(), 1);
    }
    // A section name in any case is ours; a blank line in it is nobody's row.
    const ImportSummary s = import("//diaborrado//\r\n" + sectionStart("DiaBorrado").mid(16) + "\r\n"
                                   + erasureRows(0, 1) + "   \r\n\r\n" + erasureRows(1, 1));
    EXPECT_TRUE(s.succeeded());
    EXPECT_EQ(table(s, "DiaBorrado").added, 2);
    EXPECT_EQ(table(s, "DiaBorrado").refused, 0);
    EXPECT_TRUE(s.headerMismatches.isEmpty());
}

// Export writes what the import reads back exactly: any character, and an
// empty text apart from no text.
TEST_F(ExchangeImportTest, ExportedTextsComeBackAsStoredWhateverTheirCharacters)
{
    const QString name = QString::fromUtf8("Łukasz Żółć");
    const QString note = QString::fromUtf8("Ἀθῆναι · 東京 · 🎵 · ª€");
    ASSERT_TRUE(store->insert(
        QStringLiteral("Programacion"),
        row({{"LNumeroSerie", 61}, {"TContacto", name}, {"TLocal", QString(QLatin1String(""))}, {"TNota", note}})));
    const Result<qint64> exported = writeExchangeFile(*db, home.file(QStringLiteral("u.TQ52")), {61});
    ASSERT_TRUE(exported) << exported.error().detail.toStdString();
    EXPECT_TRUE(
        tvq52::test::readBytes(home.file(QStringLiteral("u.TQ52"))).startsWith("\xEF\xBB\xBF//DiaBorrado//\r\n"));

    TempHome other;
    other.provision();
    auto otherDb = other.openDatabase();
    ExchangeImporter importer(*otherDb);
    const ImportSummary s = importer.run(home.file(QStringLiteral("u.TQ52")));
    ASSERT_EQ(table(s, "Programacion").added, 1);
    const Row back =
        test::take(Store(*otherDb).selectOne(QStringLiteral("Programacion"), row({{"LNumeroSerie", 61}}))).value();
    EXPECT_EQ(back.value(QStringLiteral("TContacto")).toString(), name);
    EXPECT_EQ(back.value(QStringLiteral("TNota")).toString(), note);
    EXPECT_FALSE(back.value(QStringLiteral("TLocal")).isNull()) << "an empty text stays empty";
    EXPECT_EQ(back.value(QStringLiteral("TLocal")).toString(), QString());
    EXPECT_TRUE(back.value(QStringLiteral("TDireccion")).isNull()) << "no text stays none";
}

// A read that fails partway through a unit's rows is a failure, not the rows before it.
TEST_F(ExchangeImportTest, AReadThatFailsPartwayFailsTheExportAndTheProgrammingLoad)
{
    if (db->isServer())
        GTEST_SKIP() << "a server sends its rows whole";
    ASSERT_TRUE(store->insert(QStringLiteral("Programacion"), row({{"LNumeroSerie", 5}})));
    exec(*db, QStringLiteral("DROP TABLE \"IntervaloInhabil\""));
    // The third row's time overflows as it is read.
    exec(*db, QStringLiteral("CREATE VIEW \"IntervaloInhabil\" AS SELECT 5 AS \"LNumeroSerie\", n AS \"ByIntervalo\", "
                             "'' AS \"TDiaEmpiezaInt\", CASE WHEN n < 3 THEN '08:00' ELSE "
                             "abs(-9223372036854775807 - 1) END AS \"THoraEmpiezaInt\", '' AS \"TDiaTerminaInt\", "
                             "'' AS \"THoraTerminaInt\" FROM (SELECT 1 AS n UNION ALL SELECT 2 UNION ALL SELECT 3)"));
    const Result<QList<Row>> read = store->select(QStringLiteral("IntervaloInhabil"));
    ASSERT_FALSE(read);
    EXPECT_FALSE(untranslatedText(read.error()).isEmpty());
    EXPECT_FALSE(loadProgramming(*store, 5));
    EXPECT_FALSE(writeExchangeFile(*db, home.file(QStringLiteral("5.TQ52")), {5}));
    EXPECT_FALSE(QFile::exists(home.file(QStringLiteral("5.TQ52"))));
}

// The key times and levels a merge must refuse are refused here too.
TEST_F(ExchangeImportTest, KeyTimesThatAreNotTimesAndLevelsNoSingleHoldsAreRefused)
{
    const QByteArray file = sectionStart("DiaBorrado") + dataLine("DiaBorrado", {{"THora", q("25:99")}}) // 3
        + dataLine("DiaBorrado", {{"THora", q("1:05")}})                                                 // 4
        + dataLine("DiaBorrado", {{"THora", q("01:05")}})                                                // 5
        + sectionStart("Sesiones") + dataLine("Sesiones", {{"SLeq", "1e300"}});                          // 8
    const ImportSummary s = import(file);
    EXPECT_EQ(table(s, "DiaBorrado").added, 1);
    ASSERT_EQ(table(s, "DiaBorrado").firstRefused.size(), 2);
    EXPECT_EQ(table(s, "DiaBorrado").firstRefused[0].kind, Refusal::Kind::NotATime);
    EXPECT_EQ(table(s, "DiaBorrado").firstRefused[1].line, 4);
    ASSERT_EQ(table(s, "Sesiones").firstRefused.size(), 1);
    EXPECT_EQ(table(s, "Sesiones").firstRefused[0].kind, Refusal::Kind::OutOfRange);
    EXPECT_EQ(table(s, "Sesiones").firstRefused[0].column, QStringLiteral("SLeq"));
}

} // namespace

// The rows are stored, but an entry left unsealed is no success to report.
TEST_F(ExchangeImportTest, AnEntryThatCannotBeSealedMakesTheImportFailWithItsCountsKept)
{
    if (db->isServer())
        GTEST_SKIP() << "the refusing trigger is written for SQLite";
    QSqlQuery refuse(db->connection());
    ASSERT_TRUE(refuse.exec(QStringLiteral("CREATE TRIGGER refuse_seal BEFORE UPDATE OF \"TResultado\" ON \"Diario\" "
                                           "BEGIN SELECT RAISE(ABORT, 'no seal today'); END")));
    const ImportSummary s = import(sectionStart("Sesiones") + dataLine("Sesiones", {}));
    EXPECT_FALSE(s.succeeded());
    EXPECT_EQ(table(s, "Sesiones").added, 1);
    EXPECT_EQ(test::take(store->count(QStringLiteral("Sesiones"))), 1);
    EXPECT_TRUE(summaryLines(s, translator).join(QLatin1Char('\n')).contains(QStringLiteral("no seal today")));
}
