// Values stored through the program's own paths must read back the same on
// either backend: the suite runs on SQLite and, in its pg. run, on a server,
// against the same expected texts.
#include "core/catalogue_ids.h"
#include "db/store.h"
#include "i18n/translator.h"
#include "programming/programming_browser.h"
#include "records/csv_writer.h"
#include "records/record_grid_model.h"
#include "records/record_store.h"
#include "reports/graph_store.h"
#include "reports/report_store.h"
#include "reports/stored_sources.h"
#include "support/folder_database.h"
#include "support/result_checks.h"
#include "support/rows.h"

#include <QBuffer>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

class BackendValuesTest : public FolderDatabaseTest {
protected:
    // Rows of a record source the templates name, as the report engine gets them.
    QList<QVariantMap> sourceRows(const char* source, qint32 serial)
    {
        QList<QVariantMap> rows;
        const Status read = storedSources(*db).read(
            QLatin1String(source), {{QStringLiteral("serial"), serial}}, [&rows](ReportRow& row) {
                QVariantMap r;
                for (const char* column : {"TLocal", "LNumeroSerie", "DFecha", "THora"})
                    if (row.has(QLatin1String(column)))
                        r.insert(QLatin1String(column), row.value(QLatin1String(column)));
                rows << r;
                return Status();
            });
        EXPECT_TRUE(read) << (read ? std::string() : read.error().detail.toStdString());
        return rows;
    }
};

QDateTime at(int y, int mo, int d, int h, int mi)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi));
}

TEST_F(BackendValuesTest, IntervalsShowTheSameCellsCsvAndGraphValues)
{
    const qint32 unit = 4242;
    const struct Case {
        QDateTime start;
        float venue;
        float neighbour;
        bool rs232;
        const char* date;
        const char* time;
        const char* venueText;
        const char* neighbourText;
    } cases[] = {
        {at(2024, 2, 29, 23, 55), 85.2f, 100.0f, true, "29/02/2024", "23:55", "85.2", "100.0"},
        {at(2023, 12, 31, 0, 0), 0.1f, 121.0f, false, "31/12/2023", "00:00", "0.1", "UP"},
        {at(1999, 1, 9, 7, 5), 59.0f, 0.0f, true, "09/01/1999", "07:05", "UND", "---"},
        {at(2030, 10, 1, 12, 30), 120.9f, 33.3f, false, "01/10/2030", "12:30", "120.9", "33.3"},
    };
    for (const Case& c : cases) {
        IntervalRecord r;
        r.start = c.start;
        r.end = c.start.addSecs(5 * 60);
        r.leqMinutes = 5;
        r.leqVenue = c.venue;
        r.leqNeighbour = c.neighbour;
        r.rs232 = c.rs232;
        r.actionVenue = QStringLiteral("Leq125ms");
        // The rows a download writes, by key.
        ASSERT_TRUE(store->upsert(QStringLiteral("Intervalos"), intervalRow(unit, r))) << c.date;
    }

    Translator translator;
    RecordGridModel grid(*db, RecordGrid::Intervals, translator);
    const Status loaded = grid.load(unit);
    ASSERT_TRUE(loaded) << loaded.error().detail.toStdString();
    const QList<int> columns{grid.columnOf("DFechaInicio"), grid.columnOf("THoraInicio"), grid.columnOf("SLeqLocal"),
                             grid.columnOf("SLeqVecino"), grid.columnOf("BoRS232")};
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(writeGridCsv(buffer, grid, translator, columns));
    const QStringList lines = QString::fromUtf8(buffer.data().mid(3)).split(QStringLiteral("\r\n"));
    const Result<QList<GraphRecord>> read = loadGraphRecords(*db, unit);
    ASSERT_TRUE(read) << read.error().detail.toStdString();
    const QList<GraphRecord>& graph = *read;
    ASSERT_EQ(grid.rowCount(), int(std::size(cases)));
    ASSERT_EQ(graph.size(), int(std::size(cases)));

    for (const Case& c : cases) {
        // The grid shows the newest first; find the row by its date cell.
        int shown = -1;
        for (int r = 0; r < grid.rowCount(); ++r)
            if (grid.data(grid.index(r, columns[0])).toString() == QLatin1String(c.date))
                shown = r;
        ASSERT_GE(shown, 0) << c.date;
        const QStringList cells{QString::fromLatin1(c.date), QString::fromLatin1(c.time),
                                QString::fromLatin1(c.venueText), QString::fromLatin1(c.neighbourText)};
        for (int i = 0; i < cells.size(); ++i)
            EXPECT_EQ(grid.data(grid.index(shown, columns[i])).toString(), cells[i]) << c.date;
        const QString flag = translator.text(c.rs232 ? msg::Yes : msg::No);
        EXPECT_TRUE(lines.contains(cells.join(QLatin1Char(';')) + QLatin1Char(';') + flag)) << c.date;

        bool drawn = false;
        for (const GraphRecord& g : graph)
            if (g.start.date() == c.start.date() && g.start.time() == c.start.time()) {
                drawn = true;
                EXPECT_EQ(QString::number(double(g.leqVenue), 'f', 1), QString::number(double(c.venue), 'f', 1));
                EXPECT_EQ(g.end, g.start.addSecs(5 * 60)) << c.date;
            }
        EXPECT_TRUE(drawn) << c.date;
    }
    // Oldest first on every backend: dates order as dates, not as texts.
    for (qsizetype i = 1; i < graph.size(); ++i)
        EXPECT_LT(graph[i - 1].start, graph[i].start);
}

TEST_F(BackendValuesTest, AccentedVenuesReadBackExactlyAndAreFoundByTheSameSearches)
{
    const struct Venue {
        qint32 serial;
        const char* local;
    } venues[] = {
        {101, "ÁÉÍÓÚÑÜ Sala"}, {102, "àéíóúñü bar"}, {103, "ç € Œ Š Ž Ÿ"}, {104, "Plain Venue"}, {105, "Weißbierstube"},
    };
    for (const Venue& v : venues)
        ASSERT_TRUE(store->insert(QStringLiteral("Programacion"),
                                  row({{"LNumeroSerie", v.serial}, {"TLocal", QString::fromUtf8(v.local)}})));
    for (const Venue& v : venues) {
        const QList<QVariantMap> rows = sourceRows("programming", v.serial);
        ASSERT_EQ(rows.size(), 1) << v.serial;
        EXPECT_EQ(rows[0].value(QStringLiteral("TLocal")).toString(), QString::fromUtf8(v.local));
        EXPECT_EQ(rows[0].value(QStringLiteral("LNumeroSerie")).toInt(), v.serial);
    }

    // Case folds, accents stay: a typed accent must match, in either case.
    const struct Search {
        const char* typed;
        std::optional<qint32> found;
    } searches[] = {
        {"áéíóúñü", 101},
        {"ÁÉÍÓÚÑÜ SALA", 101},
        {"ÀÉÍÓÚÑÜ", 102},
        {"Ñü BAR", 102},
        {"œ š ž ÿ", 103},
        {"Ç €", 103},
        {"plain", 104},
        {"aeiou", {}},
        {"venue%", {}},
        {"_", {}},
        // ß folds to itself, not to "ss": the server must not differ.
        {"WEIßBIER", 105},
        {"weissbier", {}},
    };
    ProgrammingBrowser browser(*db);
    const std::optional<SearchField> local = searchFieldOf(QStringLiteral("MaskLocal"));
    ASSERT_TRUE(local.has_value());
    for (const Search& s : searches)
        EXPECT_EQ(test::take(browser.findContaining(*local, QString::fromUtf8(s.typed))), s.found) << s.typed;
}

TEST_F(BackendValuesTest, EventDatesAndTimesReachTheReportAsStored)
{
    const qint32 unit = 77;
    const QDateTime moments[] = {at(2025, 3, 1, 9, 5), at(2024, 12, 31, 23, 59), at(2025, 2, 28, 0, 0)};
    for (const QDateTime& m : moments)
        ASSERT_TRUE(store->upsert(QStringLiteral("DiaBorrado"), eventRow(unit, EventDate{EventKind::Erasure, m})));
    const QList<QVariantMap> rows = sourceRows("erasures", unit);
    QStringList seen;
    for (const QVariantMap& r : rows)
        seen << r.value(QStringLiteral("DFecha")).toDate().toString(QStringLiteral("dd/MM/yyyy")) + QLatin1Char(' ')
                + r.value(QStringLiteral("THora")).toString();
    EXPECT_EQ(seen, (QStringList{"31/12/2024 23:59", "28/02/2025 00:00", "01/03/2025 09:05"}));
}

// An RFC 4180 reader with ";" between fields, to read back what was written.
QList<QStringList> readCsv(const QByteArray& bytes)
{
    QList<QStringList> rows;
    const QString text = QString::fromUtf8(bytes.mid(3));
    QStringList fields;
    QString f;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                f += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                f += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ';') {
            fields << f;
            f.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            fields << f;
            f.clear();
            rows << fields;
            fields.clear();
            ++i;
        } else {
            f += c;
        }
    }
    return rows;
}

QByteArray written(const QList<QStringList>& rows)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    CsvWriter csv(buffer);
    for (const QStringList& r : rows)
        EXPECT_TRUE(test::succeeded(csv.writeRow(r)));
    return buffer.data();
}

} // namespace

TEST(CsvWriter, FieldsAreQuotedOnlyWhenTheyMustBe)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"75.3", "75.3"},
        {"Sí", "Sí"},
        {"a;b", "\"a;b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {" lead", "\" lead\""},
        {"100%", "100%"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CsvWriter::field(QString::fromUtf8(c.in)), QString::fromUtf8(c.out)) << c.in;
}

TEST(CsvWriter, ADocumentIsUtf8WithAMarkSemicolonsAndCrlf)
{
    const QByteArray bytes = written({{"Fecha", "LeqT"}, {"01/06/2026", "UND"}});
    EXPECT_EQ(bytes,
              QByteArray("\xEF\xBB\xBF"
                         "Fecha;LeqT\r\n01/06/2026;UND\r\n"));
}

TEST(CsvWriter, AVenueNameWithQuotesAndSeparatorsSurvivesTheRoundTrip)
{
    const QList<QStringList> rows{{"Bar d'en \"Pep\"; 100% música", "x"}, {"", " a\r\nb "}};
    EXPECT_EQ(readCsv(written(rows)), rows);
}

TEST_F(BackendValuesTest, AGridWritesItsShownColumnsHeadingsAndDisplayTextsAsCsv)
{
    ASSERT_TRUE(store->insert("Intervalos",
                              row({{"LNumeroSerie", 7},
                                   {"DFechaInicio", QDate(2026, 6, 1)},
                                   {"THoraInicio", "23:00"},
                                   {"SLeqLocal", 59.0},
                                   {"TTipoActuacionVecino", "a;\"b\""},
                                   {"BoProgramacion", true},
                                   {"ByENA", 255}})));
    Translator translator;
    RecordGridModel grid(*db, RecordGrid::Intervals, translator);
    ASSERT_TRUE(grid.load(7));
    const QList<int> columns{grid.columnOf("DFechaInicio"), grid.columnOf("SLeqLocal"),
                             grid.columnOf("TTipoActuacionVecino"), grid.columnOf("BoProgramacion"),
                             grid.columnOf("ByENA")};
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(writeGridCsv(buffer, grid, translator, columns));
    const QList<QStringList> rows = readCsv(buffer.data());
    ASSERT_EQ(rows.size(), 2);
    // Two-line headings become one line.
    EXPECT_EQ(rows[0][1], QStringLiteral("LeqT(emisión) dBA"));
    EXPECT_EQ(rows[1], (QStringList{"01/06/2026", "UND", "a;\"b\"", translator.text(68), translator.text(111)}));
}
