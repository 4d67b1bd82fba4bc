#include "i18n/loc_guru.h"
#include "reports/gui/report_preview.h"
#include "support/layout_checks.h"
#include "support/scripted_prompter.h"
#include "support/started_program.h"

#include <QPushButton>

using namespace tvq52;

namespace {

// The preview window in each language: every caption whole on the small screen.
TEST(PreviewWindow, FitsTheSmallScreenInEveryLanguage)
{
    const struct {
        const char* column;
        const char* savePdf;
    } languages[] = {{nullptr, "Guardar PDF"},
                     {"Català", "Desa PDF"},
                     {"English", "Save PDF"},
                     {"Deutsch", "PDF speichern"},
                     {"Français", "Enregistrer en PDF"},
                     {"Italiano", "Salva PDF"},
                     {"Português", "Guardar PDF"}};
    test::ScriptedPrompter prompter;
    RenderedReport empty;
    for (const auto& language : languages) {
        LocGuru guru;
        if (language.column) {
            guru.sForeignColumnName = QString::fromUtf8(language.column);
            ASSERT_TRUE(
                guru.OpenLanguageDatabase(QStringLiteral(TVQ52_ASSET_DIR "/Language.db"), true, LocGuru::SqlDb));
        }
        Form15 window(empty, prompter, guru);
        window.resize(window.size().boundedTo(test::kSmallScreen));
        window.show();
        test::settle();
        const QString name =
            QStringLiteral("Form15_%1").arg(QString::fromUtf8(language.column ? language.column : "Español"));
        EXPECT_EQ(window.findChild<QPushButton*>(QStringLiteral("SSCommandPdf"))->text(),
                  QString::fromUtf8(language.savePdf));
        EXPECT_EQ(window.windowTitle(), QStringLiteral("TVQ-52"));
        test::expectWhole(window, name);
    }
    EXPECT_TRUE(prompter.shown().isEmpty());
}

} // namespace
