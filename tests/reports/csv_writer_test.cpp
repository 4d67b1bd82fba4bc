#include "db/store.h"
#include "i18n/loc_guru.h"
#include "records/record_grid_model.h"
#include "reports/csv_writer.h"
#include "support/rows.h"
#include "support/temp_home.h"

#include <QBuffer>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

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
        csv.writeRow(r);
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

TEST(CsvWriter, AGridWritesItsShownColumnsHeadingsAndDisplayTexts)
{
    TempHome home;
    home.provision();
    auto db = home.openDatabase();
    Store store(*db);
    ASSERT_TRUE(store.insert("Intervalos",
                             row({{"LNumeroSerie", 7},
                                  {"DFechaInicio", QDate(2026, 6, 1)},
                                  {"THoraInicio", "23:00"},
                                  {"SLeqLocal", 59.0},
                                  {"TTipoActuacionVecino", "a;\"b\""},
                                  {"BoProgramacion", true},
                                  {"ByENA", 255}})));
    LocGuru guru;
    RecordGridModel grid(*db, RecordGrid::Intervals, guru);
    ASSERT_TRUE(grid.load(7));
    const QList<int> columns{grid.columnOf("DFechaInicio"), grid.columnOf("SLeqLocal"),
                             grid.columnOf("TTipoActuacionVecino"), grid.columnOf("BoProgramacion"),
                             grid.columnOf("ByENA")};
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(writeGridCsv(buffer, grid, guru, columns));
    const QList<QStringList> rows = readCsv(buffer.data());
    ASSERT_EQ(rows.size(), 2);
    // Two-line headings become one line.
    EXPECT_EQ(rows[0][1], QStringLiteral("LeqT(emisión) dBA"));
    EXPECT_EQ(rows[1], (QStringList{"01/06/2026", "UND", "a;\"b\"", guru.GetS(68), guru.GetS(111)}));
}
