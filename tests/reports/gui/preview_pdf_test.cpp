#include "i18n/loc_guru.h"
#include "reports/gui/report_preview.h"
#include "support/scripted_prompter.h"

#include <QDate>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvq52;

// Saving a PDF: the name is proposed (serial, report, date), a name typed
// without ".pdf" gets it, and the user is told where the file went.
TEST(PreviewPdf, ANameIsProposedTheExtensionAddedAndThePlaceTold)
{
    test::ScriptedPrompter prompter;
    LocGuru guru;
    RenderedReport report;
    Form15 window(report, prompter, guru);
    window.setFileStem(QStringLiteral("4711_sesiones"));
    EXPECT_EQ(window.proposedPdfName(QDate(2026, 12, 7)), QStringLiteral("4711_sesiones_2026-12-07.pdf"));

    QTemporaryDir dir;
    const struct {
        const char* typed;
        const char* written;
    } cases[] = {{"graph-es", "graph-es.pdf"}, {"informe.PDF", "informe.PDF"}, {"a.b", "a.b.pdf"}};
    for (const auto& c : cases) {
        prompter.clear();
        prompter.fileAnswer(dir.filePath(QString::fromLatin1(c.typed)));
        window.askSavePdf();
        const QString written = dir.filePath(QString::fromLatin1(c.written));
        EXPECT_TRUE(QFileInfo(written).isFile()) << c.typed;
        ASSERT_EQ(prompter.shown().size(), 1) << c.typed;
        EXPECT_EQ(prompter.shown()[0].style, MessageStyle::Information);
        EXPECT_TRUE(prompter.shown()[0].text.contains(written)) << prompter.shown()[0].text.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("graph-es"))));

    // Cancel writes and says nothing.
    prompter.clear();
    prompter.fileAnswer(QString());
    window.askSavePdf();
    EXPECT_TRUE(prompter.shown().isEmpty());

    // Without a stem the program's name starts it.
    Form15 other(report, prompter, guru);
    EXPECT_EQ(other.proposedPdfName(QDate(2026, 1, 2)), QStringLiteral("tvq52_2026-01-02.pdf"));
}
