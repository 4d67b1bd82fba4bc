#include "records/gui/journal_window.h"

#include "i18n/loc_guru.h"
#include "programming/gui/window_fixture.h"

#include <QLabel>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableWidget>

using namespace tvq52;
using namespace tvq52::test;

namespace {

using JournalWindowTest = WindowFixture;

QStringList columnTexts(QTableWidget* table, int column)
{
    QStringList texts;
    for (int r = 0; r < table->rowCount(); ++r)
        texts << table->item(r, column)->text();
    return texts;
}

TEST_F(JournalWindowTest, ListsTheShownUnitsEntriesNewestFirstOrEveryUnitsWithTheChainHead)
{
    Journal journal(*ctx_->db);
    ASSERT_TRUE(journal.append(JournalAction::Download, 7, QStringLiteral("cable"), QStringLiteral("completed"), {}));
    ASSERT_TRUE(journal.append(JournalAction::ProgramTransmit, 8, QStringLiteral("modem"), QStringLiteral("failed"),
                               QStringLiteral("Error en la transmisión de datos")));
    ASSERT_TRUE(journal.append(JournalAction::Download, 7, QStringLiteral("modem"), QStringLiteral("stopped"), {}));

    JournalWindow window(ctx_->guru, *ctx_->db, 7);
    window.show();
    QTableWidget* table = window.table();
    EXPECT_EQ(columnTexts(table, 2), (QStringList{"7", "7"}));
    EXPECT_EQ(columnTexts(table, 4), (QStringList{"Parada", "Completada"})) << "newest first";
    EXPECT_EQ(columnTexts(table, 3), (QStringList{"Módem", "Cable"}));
    EXPECT_EQ(child<QLabel>(&window, "LbCabeza")->text(), QString::fromLatin1(journal.head()));
    EXPECT_FALSE(journal.head().isEmpty());

    child<QRadioButton>(&window, "OptionTodos")->setChecked(true);
    EXPECT_EQ(columnTexts(table, 2), (QStringList{"7", "8", "7"}));
    EXPECT_EQ(table->item(1, 1)->text(), QStringLiteral("Transmisión de programación"));
    EXPECT_EQ(table->item(1, 5)->text(), QStringLiteral("Error en la transmisión de datos"));
}

TEST_F(JournalWindowTest, ShowsADownloadsCountsInTheUsersWordsLeavingOutKindsWithNone)
{
    Journal journal(*ctx_->db);
    const std::optional<qint64> entry = journal.open(JournalAction::Download, 7, QStringLiteral("cable"));
    ASSERT_TRUE(entry);
    ASSERT_TRUE(journal.seal(*entry, QStringLiteral("completed"), {},
                             QStringLiteral("totals 0 1 0\nerasures 0 0 0\nintervals 960 4 2\nsessions 0 0 0")));
    JournalWindow window(ctx_->guru, *ctx_->db, 7);
    EXPECT_EQ(window.table()->item(0, 6)->text(),
              QStringLiteral("Totales: 0 nuevos, 1 reescritos, 0 rechazados\n"
                             "Registros Leq: 960 nuevos, 4 reescritos, 2 rechazados"));
}


// A long message wraps in its column instead of pushing the counts out of
// the window: the counts column shows whole, at the window's usual size and
// when it is made narrower.
TEST_F(JournalWindowTest, ALongMessageLeavesTheCountsInSight)
{
    Journal journal(*ctx_->db);
    const std::optional<qint64> entry = journal.open(JournalAction::Download, 7, QStringLiteral("modem"));
    ASSERT_TRUE(entry);
    ASSERT_TRUE(journal.seal(*entry, QStringLiteral("failed"),
                             QStringLiteral("No se puede escribir en la base de datos /home/usuario/.local/share/tvq52/"
                                            "tvq52/tvq52.db (disco lleno). Lo recibido hasta ahora está guardado y la "
                                            "unidad conserva el resto."),
                             QStringLiteral("totals 0 1 0\nerasures 0 0 0\nintervals 960 4 2\nsessions 0 0 0")));
    JournalWindow window(ctx_->guru, *ctx_->db, 7);
    for (const int width : {900, 1100}) {
        window.resize(width, 480);
        window.show();
        settle();
        QTableWidget* table = window.table();
        const int counts = 6;
        const int right = table->columnViewportPosition(counts) + table->columnWidth(counts);
        EXPECT_LE(right, table->viewport()->width()) << width;
        const QString text = table->item(0, counts)->text();
        int widest = 0;
        for (const QString& line : text.split(QLatin1Char('\n')))
            widest = std::max(widest, table->fontMetrics().horizontalAdvance(line));
        EXPECT_GE(table->columnWidth(counts), widest) << width;
        EXPECT_FALSE(table->horizontalScrollBar()->isVisible()) << width;
        EXPECT_EQ(table->item(0, 5)->toolTip(), table->item(0, 5)->text());
    }
}

} // namespace
