#include "app/gui/communication_dialog.h"
#include "app/gui/language_dialog.h"
#include "db/database.h"
#include "support/result_checks.h"
#include "support/started_program.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <gtest/gtest.h>

using namespace tvq52;

// Renders the main window and its dialogs; with TVQ52_SHOT_DIR set the
// pictures are kept there for a person to look at.
TEST(Screenshots, MainWindowAndDialogsRenderWithEveryTextVisible)
{
    test::StartedProgram program;
    MainWindow& w = program.window();
    w.resize(w.sizeHint());
    QApplication::processEvents();

    CommunicationDialog comm(program.shell->context(), program.prompter, &w);
    LanguageDialog language(program.shell->context(), &w);
    const QString dir = qEnvironmentVariable("TVQ52_SHOT_DIR");
    const std::pair<QWidget*, const char*> shots[] = {
        {&w, "main-window"}, {&comm, "communication"}, {&language, "language"}};
    for (const auto& [widget, name] : shots) {
        widget->show();
        QApplication::processEvents();
        const QPixmap pixmap = widget->grab();
        EXPECT_FALSE(pixmap.isNull()) << name;
        // Every push button is wide enough for its text.
        for (auto* b : widget->findChildren<QAbstractButton*>())
            EXPECT_GE(b->width(), b->fontMetrics().horizontalAdvance(b->text()))
                << name << " " << b->objectName().toStdString();
        if (!dir.isEmpty()) {
            QDir().mkpath(dir);
            pixmap.save(QDir(dir).filePath(QString::fromLatin1(name) + QStringLiteral(".png")));
        }
    }
}

// The "Importando datos" panel while a merge runs, caught at its fourth table.
TEST(Screenshots, ImportPanelShowsTheTableTheMergeIsAt)
{
    test::StartedProgram program;
    const QString source = program.home.file(QStringLiteral("otra.db"));
    ASSERT_TRUE(test::succeeded(Database::createSqlite(source)));
    MainWindow& w = program.window();
    bool caught = false;
    QObject::connect(&w, &MainWindow::mergeProgressed, &w, [&](int index, int count) {
        if (index != 3)
            return;
        caught = true;
        auto* panel = w.findChild<QWidget*>(QStringLiteral("SSPanel1"));
        EXPECT_TRUE(panel->isVisible());
        EXPECT_EQ(w.findChild<QLabel*>(QStringLiteral("LbImportandoTabla"))->text(),
                  QStringLiteral("Sesiones (4/%1)").arg(count));
        const QString dir = qEnvironmentVariable("TVQ52_SHOT_DIR");
        if (!dir.isEmpty()) {
            QDir().mkpath(dir);
            w.grab().save(QDir(dir).filePath(QStringLiteral("merge-panel.png")));
        }
    });
    program.prompter.fileAnswer(source);
    w.button("SSCommand1")->click();
    EXPECT_TRUE(caught);
}
