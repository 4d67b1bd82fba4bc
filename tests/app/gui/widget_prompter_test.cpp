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
TEST(WidgetPrompterQuestions, UnsavedEditsShowSaveDiscardAndCancel)
{
    const auto box = WidgetPrompter::createMessageBox(unsavedEdits(), nullptr);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Save));
    EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::Cancel));
    EXPECT_EQ(box->icon(), QMessageBox::Question);
}

TEST(WidgetPrompterQuestions, EachButtonOfTheUnsavedEditsQuestionGivesItsAnswer)
{
    WidgetPrompter prompter;
    const std::pair<QMessageBox::StandardButton, Answer> cases[] = {{QMessageBox::Save, Answer::Save},
                                                                    {QMessageBox::Discard, Answer::Discard},
                                                                    {QMessageBox::Cancel, Answer::Cancel}};
    for (const auto& [button, answer] : cases) {
        QTimer::singleShot(0, [button = button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            box->button(button)->click();
        });
        EXPECT_EQ(prompter.message(unsavedEdits()), answer);
    }
    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        box->reject();
    });
    EXPECT_EQ(prompter.message(unsavedEdits()), Answer::Cancel) << "closing the box keeps the edits";
}

} // namespace
