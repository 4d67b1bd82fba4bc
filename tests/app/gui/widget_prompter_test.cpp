#include "app/gui/widget_prompter.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tvq52;

namespace {

Message unsavedEdits()
{
    return Message{
        QStringLiteral("¿Desea guardar los cambios?"), {}, MessageStyle::SaveDiscardCancel, 23, Answer::Save};
}

// The unsaved-edits question shows buttons that say what they do; Enter
// saves, Escape and the close box cancel.
TEST(WidgetPrompterQuestions, UnsavedEditsShowSaveDiscardAndCancelEachGivingItsAnswer)
{
    const auto box = WidgetPrompter::createMessageBox(unsavedEdits(), nullptr);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Save));
    EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::Cancel));
    EXPECT_EQ(box->icon(), QMessageBox::Question);

    WidgetPrompter prompter;
    // Each button by its own click; closing the box (none) keeps the edits.
    const std::pair<QMessageBox::StandardButton, Answer> cases[] = {{QMessageBox::Save, Answer::Save},
                                                                    {QMessageBox::Discard, Answer::Discard},
                                                                    {QMessageBox::Cancel, Answer::Cancel},
                                                                    {QMessageBox::NoButton, Answer::Cancel}};
    for (const auto& [button, answer] : cases) {
        QTimer::singleShot(0, [button = button] {
            auto* asked = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(asked, nullptr);
            if (button == QMessageBox::NoButton)
                asked->reject();
            else
                asked->button(button)->click();
        });
        EXPECT_EQ(prompter.message(unsavedEdits()), answer) << int(button);
    }
}

} // namespace
