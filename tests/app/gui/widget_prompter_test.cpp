#include "app/gui/widget_prompter.h"

#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
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

// Characters typed past a box's length are refused as they are typed.
TEST(WidgetPrompterInput, ABoxWithALengthTakesNoCharacterPastIt)
{
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        for (int i = 0; i < 72; ++i) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
            QApplication::sendEvent(dialog->findChild<QLineEdit*>(), &key);
        }
        dialog->accept();
    });
    EXPECT_EQ(WidgetPrompter().input(QStringLiteral("Pie"), QStringLiteral("Pie"), QString(), 50),
              QString(50, QLatin1Char('a')));
}

} // namespace
