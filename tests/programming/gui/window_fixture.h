#pragma once

#include "../programming_fixture.h"
#include "app/app_context.h"
#include "support/key_presses.h"
#include "support/scripted_prompter.h"
#include "support/started_program.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

namespace tvq52::test {

// An empty database, a context on it and a prompter that records what the
// windows show.
class WindowFixture : public ProgrammingDatabase {
protected:
    void SetUp() override
    {
        ProgrammingDatabase::SetUp();
        // The context takes the connection over; the store keeps using it.
        ctx_ = std::make_unique<AppContext>(dir_.path());
        ctx_->db = std::move(db_);
    }

    ProgrammingRecord storeUnit(qint32 serial, const QString& venue = QStringLiteral(" "),
                                const QString& version = QStringLiteral("3.3"))
    {
        ProgrammingRecord r = saveUnit(serial, venue);
        r.version = version;
        EXPECT_TRUE(saveProgramming(*store_, r, unusedIntervals()));
        return r;
    }

    static void activate(QWidget* window) { makeActive(window); }

    static void press(QWidget* w, int key, const QString& text = {})
    {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(w, &down);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QApplication::sendEvent(w, &up);
    }

    // Focuses `field`, replaces its text by typing, as a user would.
    static void typeInto(QLineEdit* field, const QString& text)
    {
        field->setFocus(Qt::MouseFocusReason);
        settle();
        field->selectAll();
        press(field, Qt::Key_Delete);
        field->home(false);
        for (QChar c : text)
            press(field, c.unicode() >= 'a' && c.unicode() <= 'z' ? c.toUpper().unicode() : c.unicode(), QString(c));
    }

    static void focusTo(QWidget* w)
    {
        w->setFocus(Qt::TabFocusReason);
        settle();
    }

    std::unique_ptr<AppContext> ctx_;
    ScriptedPrompter prompter_;
};

} // namespace tvq52::test
