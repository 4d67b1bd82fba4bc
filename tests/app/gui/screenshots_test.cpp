#include "app/gui/communication_dialog.h"
#include "app/gui/language_dialog.h"
#include "support/started_program.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
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
