#include "app/gui/window_needs.h"
#include "i18n/translator.h"
#include "programming/gui/programming_window.h"
#include "window_fixture.h"

#include <QHeaderView>
#include <QTabWidget>
#include <QTableView>

using namespace tvq52;
using namespace tvq52::test;

namespace {

using IntervalsGridWidths = WindowFixture;

// The non-working intervals' grid on the small screen: every heading whole
// in every language, and the dates and times whole beneath them.
TEST_F(IntervalsGridWidths, EveryHeadingAndValueIsWholeOnTheSmallScreenInEveryLanguage)
{
    for (const char* language : {"", "Català", "English", "Deutsch", "Français", "Italiano", "Português"}) {
        if (*language) {
            ctx_->translator.foreignColumnName = QString::fromUtf8(language);
            ASSERT_TRUE(ctx_->translator.openLanguageDatabase(QStringLiteral(TVQ52_ASSET_DIR "/Language.db"), true,
                                                        Translator::SqlDb));
        }
        ProgrammingWindow window(programmingWindowNeeds(*ctx_, prompter_));
        window.resize(1024, 700);
        activate(&window);
        auto* grid = child<QTableView>(&window, "TDBGrid1");
        auto* tabs = child<QTabWidget>(&window, "SSTab2");
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->widget(i)->isAncestorOf(grid))
                tabs->setCurrentIndex(i);
        settle();
        ASSERT_TRUE(grid->isVisible()) << language;
        QFont bold = grid->horizontalHeader()->font();
        bold.setBold(true);
        const QFontMetrics heading(bold);
        const QFontMetrics cell(grid->font());
        const QAbstractItemModel* model = grid->model();
        for (int c = 0; c < model->columnCount(); ++c) {
            const QString text = model->headerData(c, Qt::Horizontal).toString();
            EXPECT_LT(heading.horizontalAdvance(text), grid->columnWidth(c)) << language << ": " << text.toStdString();
            const QString widest = c == 0 ? QStringLiteral("00") : QStringLiteral("00/00/00");
            EXPECT_LT(cell.horizontalAdvance(widest), grid->columnWidth(c)) << language;
        }
        int total = 0;
        for (int c = 0; c < model->columnCount(); ++c)
            total += grid->columnWidth(c);
        EXPECT_LE(total, grid->viewport()->width() + 1) << language << ": no column out of sight";
    }
}

} // namespace
