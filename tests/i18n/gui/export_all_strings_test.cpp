#include "../language_db_fixture.h"
#include "i18n/gui/composite_controls.h"
#include "i18n/gui/export_all_strings.h"
#include "i18n/gui/form_registry.h"
#include "i18n/loc_guru.h"
#include "support/scripted_prompter.h"

#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::usedNatives;

namespace {

std::unique_ptr<QWidget> window(const QString& name, const QStringList& texts)
{
    auto w = std::make_unique<QDialog>();
    w->setObjectName(name);
    for (const QString& t : texts)
        new QPushButton(t, w.get());
    return w;
}

class ExportAll : public ::testing::Test {
protected:
    void SetUp() override
    {
        tvq52::test::writeLanguageDb(dir.filePath("Language.db"), {{"Aceptar", "OK"}, {"Viejo", "Old"}});
        installWidgetTranslation(guru);
        guru.sForeignColumnName = "English";
        ASSERT_TRUE(guru.OpenLanguageDatabase(dir.filePath("Language.db"), true, LocGuru::SqlDb));
    }
    QTemporaryDir dir;
    LocGuru guru;
    tvq52::test::ScriptedPrompter prompter;
};

TEST_F(ExportAll, WalksTheRegisteredWindowsInOrderAndReopens)
{
    FormRegistry registry;
    QStringList built;
    QList<QPointer<QWidget>> windows;
    auto track = [&](const QString& name, const QStringList& texts) {
        return [&, name, texts] {
            built << name;
            auto w = window(name, texts);
            // A window built during the export is not translated.
            guru.TranslateForm(w.get());
            windows << w.get();
            return w;
        };
    };
    registry.add("Form7", track("Form7", {"Aceptar", "Cancelar"}));
    registry.add("Form1", track("Form1", {"Salir"}));
    registry.add("Form16", track("Form16", {"Importar"}));
    registry.add("Form4", [&] {
        built << "Form4";
        auto w = window("Form4", {});
        auto* model = new QStandardItemModel(0, 1, w.get());
        model->setHorizontalHeaderLabels({QString::fromUtf8("LeqSesión\ndBA")});
        (new QTableView(w.get()))->setModel(model);
        (new QLabel("Oculto", w.get()))->setProperty("Tag", "!");
        return w;
    });

    ASSERT_TRUE(ExportAllStrings(guru, registry, dir.path(), prompter));
    EXPECT_TRUE(prompter.shown().isEmpty());
    EXPECT_EQ(built, QStringList({"Form1", "Form4", "Form7"}));
    for (const auto& w : windows)
        EXPECT_TRUE(w.isNull()) << "the export keeps no window";

    const QStringList used = usedNatives(dir.filePath("Language.db"));
    // The heading is catalogue text 42 already.
    EXPECT_EQ(used.size(), 178 + 3);
    for (const char* text : {"Aceptar", "Cancelar", "Salir", "LeqSesión\rdBA"})
        EXPECT_TRUE(used.contains(QString::fromUtf8(text))) << text;
    EXPECT_FALSE(used.contains("Importar"));
    EXPECT_FALSE(used.contains("Oculto"));
    EXPECT_FALSE(used.contains("Viejo"));

    // The language in use before is back.
    EXPECT_EQ(guru.sLanguageDB(), dir.filePath("Language.db"));
    EXPECT_EQ(guru.GetTranslation("Aceptar"), "OK");
}

TEST_F(ExportAll, AMissingDatabaseIsReportedNotCreated)
{
    QTemporaryDir empty;
    FormRegistry registry;
    EXPECT_FALSE(ExportAllStrings(guru, registry, empty.path(), prompter));
    ASSERT_EQ(prompter.shown().size(), 1);
    EXPECT_EQ(prompter.shown()[0].style, MessageStyle::Exclamation);
    EXPECT_TRUE(prompter.shown()[0].text.contains(QDir(empty.path()).filePath("Language.db")));
    EXPECT_FALSE(QFileInfo::exists(QDir(empty.path()).filePath("Language.db")));
    EXPECT_EQ(guru.GetTranslation("Aceptar"), "OK");
}

} // namespace
