// Every report kind in every language: no text breaks inside a word, none
// shrinks below what paper reads, no two texts overlap, and the day's hours
// are printed beside the night's.
#include "../../programming/programming_fixture.h"
#include "i18n/translator.h"
#include "reports/graph_report.h"
#include "reports/programming_report.h"
#include "reports/recorded_report.h"
#include "support/rows.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace tvq52 {
namespace {

constexpr qint32 kSerial = 52001;
// The smallest a heading may be drawn, against its template size.
constexpr double kReadable = 0.55;

QDateTime at(int d, int h, int m)
{
    return QDateTime(QDate(2026, 6, d), QTime(h, m), Qt::UTC);
}

QStringList wordsOf(const QStringList& lines)
{
    static const QRegularExpression spaces(QStringLiteral("\\s+"));
    return lines.join(QLatin1Char(' ')).split(spaces, Qt::SkipEmptyParts);
}

class ReportHeadings : public test::ProgrammingDatabase {
protected:
    void SetUp() override
    {
        test::ProgrammingDatabase::SetUp();
        ProgrammingRecord r = defaultProgramming(QDate(2026, 5, 1));
        r.serial = kSerial;
        r.venue = QStringLiteral("Sala \"La Estación\"; 100% rock'n'roll");
        r.nightStart = QStringLiteral("22:30");
        r.nightEnd = QStringLiteral("07:15");
        ASSERT_TRUE(test::succeeded(saveProgramming(*store_, r, unusedIntervals())));
        for (const char* table : {"DiaReprogramado", "DiaBorrado", "DiaFinalBateria"})
            ASSERT_TRUE(store_->insert(QString::fromLatin1(table),
                                       test::row({{"LNumeroSerie", kSerial},
                                                  {"DFecha", QDate(2026, 5, 30)},
                                                  {"THora", "10:15"}})));
        for (int i = 0; i < 40; ++i)
            interval(at(1, 20, 0).addSecs(900LL * i), 95.0 + i * 0.7);
        ASSERT_TRUE(
            store_->insert(QStringLiteral("Sesiones"),
                           test::spanRow(kSerial, QDateTime(QDate(2026, 6, 1), QTime(20, 0)),
                                         QDateTime(QDate(2026, 6, 2), QTime(6, 0)),
                                         {{"SLeq", 118.4}, {"LPasadasLocal", 43210}, {"ITiempoAtenuacion", 3600}})));
    }
    void interval(const QDateTime& start, double level)
    {
        const QDateTime end = start.addSecs(900);
        ASSERT_TRUE(store_->insert(QStringLiteral("Intervalos"),
                                   test::spanRow(kSerial, start, end,
                                                 {{"ByTLeq", 15},
                                                  {"SLeqLocal", level},
                                                  {"SMaxFast", level + 9},
                                                  {"SL1", level + 3},
                                                  {"ByNivelLeqLocal", 95},
                                                  {"IPasadasLocal", 900},
                                                  {"ByENA", 255}})));
    }

    // Every kind of report in the translator's language, by name.
    std::vector<std::pair<QString, RenderedReport>> everyReport(const Translator& translator)
    {
        std::vector<std::pair<QString, RenderedReport>> out;
        const QString assets = QStringLiteral(TVQ52_ASSET_DIR);
        const QString footer = QStringLiteral("Inspección municipal");
        if (auto r = buildProgrammingReport(*db_, translator, reportTemplatePath(assets, QStringLiteral("tvq52_1.xml")),
                                            kSerial, QStringLiteral("4.0"), footer))
            out.emplace_back(QStringLiteral("programming"), std::move(*r));
        else
            ADD_FAILURE() << r.error().detail.toStdString();
        QImage chart(400, 200, QImage::Format_RGB32);
        chart.fill(Qt::gray);
        if (auto r = buildGraphReport(*db_, translator, reportTemplatePath(assets, QStringLiteral("tvq52_4.xml")), kSerial,
                                      QStringLiteral("4.0"), chart, chart, footer, at(1, 0, 0), at(3, 0, 0)))
            out.emplace_back(QStringLiteral("graph"), std::move(*r));
        else
            ADD_FAILURE() << r.error().detail.toStdString();
        for (const auto& [name, kind] : {std::pair{"intervals", RecordedReportKind::Intervals},
                                         std::pair{"sessions", RecordedReportKind::Sessions},
                                         std::pair{"exceedances", RecordedReportKind::Exceedances}}) {
            auto r = buildRecordedReport(*db_, translator, {kind, kSerial, at(1, 0, 0), at(3, 0, 0), footer, assets});
            if (r && *r)
                out.emplace_back(QString::fromLatin1(name), std::move(**r));
            else
                ADD_FAILURE() << name << ": " << (r ? std::string("no report") : r.error().detail.toStdString());
        }
        return out;
    }
};

// The texts of one page that overlap another, as "a | b".
QStringList overlaps(const std::vector<RenderedReport::PlacedText>& texts)
{
    QStringList found;
    for (std::size_t i = 0; i < texts.size(); ++i)
        for (std::size_t j = i + 1; j < texts.size(); ++j) {
            const QRectF common = texts[i].rect.intersected(texts[j].rect);
            if (common.width() > 0.2 && common.height() > 0.2)
                found << texts[i].text + QStringLiteral(" | ") + texts[j].text;
        }
    return found;
}

TEST_F(ReportHeadings, EveryTextOfEveryReportFitsWholeWordsReadablyInEveryLanguage)
{
    for (const char* language : {"", "Català", "English", "Deutsch", "Français", "Italiano", "Português"}) {
        Translator translator;
        if (*language) {
            translator.foreignColumnName = QString::fromUtf8(language);
            ASSERT_TRUE(
                translator.openLanguageDatabase(QStringLiteral(TVQ52_ASSET_DIR "/Language.db"), true, Translator::SqlDb));
        }
        const auto reports = everyReport(translator);
        ASSERT_EQ(reports.size(), 5u) << language;
        for (const auto& [name, report] : reports) {
            // The day runs from the night's end to its start: both hours twice.
            const QStringList first = report.pageTexts(0);
            EXPECT_GE(first.count(QStringLiteral("07:15")), 2) << name.toStdString() << " in " << language;
            EXPECT_GE(first.count(QStringLiteral("22:30")), 2) << name.toStdString() << " in " << language;
            // The programming's Leq time is kept in minutes.
            if (name == QLatin1String("programming") || name == QLatin1String("graph")) {
                EXPECT_EQ(first.mid(first.indexOf(translator.text(10)), 3),
                          QStringList({translator.text(10), QStringLiteral("2"), QStringLiteral("min")}))
                    << name.toStdString() << " in " << language;
            }
            for (int p = 0; p < report.pageCount(); ++p) {
                const auto texts = report.placedTexts(p);
                const std::string where = QStringLiteral("%1 report in %2, page %3: ")
                                              .arg(name, QString::fromUtf8(*language ? language : "Español"))
                                              .arg(p + 1)
                                              .toStdString();
                for (const RenderedReport::PlacedText& t : texts) {
                    const std::string text = t.text.toStdString() + " as " + t.lines.join('|').toStdString();
                    EXPECT_EQ(wordsOf(t.lines), wordsOf({t.text})) << where << text << ": a word is broken";
                    EXPECT_GE(t.scale, kReadable) << where << text << " in " << t.rect.width() << " mm";
                }
                EXPECT_TRUE(overlaps(texts).isEmpty()) << where << overlaps(texts).join(", ").toStdString();
            }
        }
    }
}

} // namespace
} // namespace tvq52
