#include "app/gui/window_needs.h"
#include "link/clock.h"
#include "link/frame.h"
#include "link/memory_line.h"
#include "monitor/gui/monitor_window.h"
#include "programming/gui/programming_window.h"
#include "programming/programming_block.h"
#include "programming/programming_store.h"
#include "support/unit_replies.h"
#include "window_fixture.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

using namespace tvq52;
using namespace tvq52::test;
using tvq52::test::identityReply;

namespace {

// The window over a memory line with a unit behind it that identifies
// itself, answers the programming request with `block` and keeps what it
// is sent; `onByte` sees every byte the window writes.
class ExchangeWindow : public test::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        block = QByteArray(365, 0);
        block[28] = 95;
        block[39] = 15;
        block[42] = 2;
        line.onWrite([this](const QByteArray& bytes) {
            if (onByte)
                onByte(int(line.written().size()));
            const QByteArray& w = line.written();
            if (w.endsWith(identityRequest() + char(0x06)))
                line.deliver(identityReply("004711"), 20);
            else if (w.endsWith(completeFrame(0x04)))
                line.deliver(completeFrame(0x04, block), 20);
            else if (w.size() >= 377 && w.right(377).startsWith(QByteArray("\x02\x01\x79\x08", 4))) {
                block = w.right(377).mid(10, 365);
                line.deliver(QByteArray(1, char(kAck)), 20);
            }
        });
    }

    void open()
    {
        window = std::make_unique<ProgrammingWindow>(programmingWindowNeeds(*ctx_, prompter_));
        window->setLink(&line, &clock);
        window->resize(1100, 700);
        activate(window.get());
    }

    QPushButton* button(const char* name) { return child<QPushButton>(window.get(), name); }

    FastClock clock{40.0};
    MemoryLine line{clock};
    QByteArray block;
    std::function<void(int)> onByte;
    std::unique_ptr<ProgrammingWindow> window;
};

} // namespace

TEST_F(ExchangeWindow, ReceiveFillsANewRecordAndGivesTheButtonsBack)
{
    open();
    EXPECT_TRUE(button("SSCommandImprimir")->isEnabled());
    bool disabledDuringExchange = false;
    onByte = [&](int) {
        disabledDuringExchange = !button("SSCommandGrabar")->isEnabled() && !button("SSCommandRecibir")->isEnabled()
            && !button("SSCommandImprimir")->isEnabled();
    };
    button("SSCommandRecibir")->click();
    EXPECT_TRUE(disabledDuringExchange);
    EXPECT_EQ(child<QLineEdit>(window.get(), "MaskNumeroSerie")->text(), "4711");
    EXPECT_EQ(child<QLineEdit>(window.get(), "MaskVersion")->text(), "4.0");
    EXPECT_EQ(child<QLineEdit>(window.get(), "MaskDiaLocal")->text(), "95");
    EXPECT_EQ(ctx_->unit.current(), 4711) << "the unit that answered, stored or not, is the current unit";
    EXPECT_TRUE(child<QRadioButton>(window.get(), "OptionIngles")->isChecked());
    EXPECT_TRUE(window->isModified());
    EXPECT_TRUE(button("SSCommandGrabar")->isEnabled());
    EXPECT_TRUE(button("SSCommandRecibir")->isEnabled());
    EXPECT_TRUE(button("SSCommandImprimir")->isEnabled());
}

TEST_F(ExchangeWindow, ComparisonQuestionNewFirmwareCarriedOverReplyAndTransmissionProgress)
{
    storeUnit(4711, QStringLiteral("Sala Apolo"), QStringLiteral("3.2"));
    open();
    ASSERT_TRUE(window->loadStored(4711));
    ASSERT_TRUE(child<QWidget>(window.get(), "FrameApliCorrecioGlobal")->isHidden());

    // The stored record differs from the unit: the listing is asked; Cancel
    // keeps the record, but the shown unit's new firmware is taken.
    for (Answer a : {Answer::Ok, Answer::Ok, Answer::Cancel})
        prompter_.answer(a);
    button("SSCommandRecibir")->click();
    ASSERT_EQ(prompter_.catalogueIds(), (QList<int>{15, 61, 82}));
    EXPECT_EQ(child<QLineEdit>(window.get(), "MaskLocal")->text(), "Sala Apolo");
    EXPECT_EQ(child<QLineEdit>(window.get(), "MaskVersion")->text(), "4.0");
    EXPECT_FALSE(child<QWidget>(window.get(), "FrameApliCorrecioGlobal")->isHidden());
    EXPECT_TRUE(child<QLineEdit>(window.get(), "MaskTempsActLoc")->isEnabled());

    // A language code without an option leaves the one the unit sent before.
    block[42] = 9;
    prompter_.clear();
    for (Answer a : {Answer::Save, Answer::Ok, Answer::Ok, Answer::Cancel})
        prompter_.answer(a);
    button("SSCommandRecibir")->click();
    ASSERT_EQ(prompter_.catalogueIds(), (QList<int>{23, 15, 61, 82}));
    EXPECT_TRUE(prompter_.shown().last().text.contains("Idioma: \tEspañol <-> English\r"))
        << qPrintable(prompter_.shown().last().text);

    // Halfway through the frame the busy panel tells how far it has got.
    QString progressText;
    int progressValue = 0;
    onByte = [&](int written) {
        if (written != 7 + 190)
            return;
        progressText = child<QLabel>(window.get(), "LbProgreso")->text();
        progressValue = child<QProgressBar>(window.get(), "ProgressBarEnvio")->value();
        EXPECT_TRUE(child<QWidget>(window.get(), "SSPanel2")->isVisible());
    };
    prompter_.clear();
    line.clearWritten();
    button("SSCommandTransmitir")->click();
    EXPECT_EQ(prompter_.catalogueIds(), (QList<int>{15, 61}));
    EXPECT_EQ(progressValue, 189);
    EXPECT_TRUE(progressText.contains("189 de 377 bytes")) << qPrintable(progressText);
    EXPECT_TRUE(progressText.contains("quedan 10 s")) << qPrintable(progressText);
    EXPECT_FALSE(child<QWidget>(window.get(), "SSPanel2")->isVisible());
    EXPECT_EQ(block.at(42), 0) << "the unit keeps the Spanish the window sent";
}

TEST_F(ExchangeWindow, MonitorRunsModallyWithTheProgrammingWindowOutOfUse)
{
    storeUnit(4711, QStringLiteral("Sala Apolo"), QStringLiteral("4.0"));
    open();
    ASSERT_TRUE(window->loadStored(4711));
    int readings = 0;
    line.onWrite([&](const QByteArray& bytes) {
        const QByteArray& w = line.written();
        if (w.endsWith(identityRequest() + char(0x06)))
            line.deliver(identityReply("004711"), 20);
        else if (w.endsWith(completeFrame(0x09)) || (bytes == QByteArray(1, char(kAck)) && w.size() > 12)) {
            line.deliver(test::readingFrame(700 + 40 * (readings % 7), readings % 3 == 0 ? 12 : 0, 0, 0, 1, 1), 200);
            ++readings;
        }
    });
    bool programmingUsable = true;
    MonitorWindow* m = nullptr;
    std::function<void()> poll;
    QTimer::singleShot(0, [&] {
        m = qobject_cast<MonitorWindow*>(QApplication::activeModalWidget());
        ASSERT_TRUE(m);
        programmingUsable = window->isEnabled();
        QTimer::singleShot(0, [&] { child<QPushButton>(m, "SSCommandRun")->click(); });
        // Once readings flow, close during the run.
        poll = [&] {
            if (readings < 3) {
                QTimer::singleShot(20, poll);
                return;
            }
            EXPECT_FALSE(child<QPushButton>(m, "SSCommandExit")->isEnabled());
            m->close();
        };
        QTimer::singleShot(20, poll);
    });
    window->openMonitor();
    EXPECT_FALSE(programmingUsable);
    EXPECT_TRUE(window->isEnabled());
    ASSERT_TRUE(m);
    EXPECT_FALSE(m->isVisible()) << "the close waited for the run's end and then closed";
    EXPECT_TRUE(line.written().endsWith(QByteArray(1, char(kCan))));
    EXPECT_EQ(child<QLabel>(m, "LbNoche")->text(), "(Noche)");
    EXPECT_TRUE(child<QLabel>(m, "LbSesion")->isVisibleTo(m));
    // 100 twips (7 px at 96 dpi) in from the programming window's top-right corner.
    const QRect o = window->frameGeometry();
    EXPECT_EQ(m->pos(), QPoint(o.left() + o.width() - m->width() - 7, o.top() + 7));
}
