#include "app/gui/window_needs.h"
#include "programming/gui/programming_window.h"
#include "programming/gui/week_schedule_window.h"
#include "programming/week_schedule.h"

#include "window_fixture.h"

#include <QChart>
#include <QGroupBox>
#include <QLineSeries>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <set>

using namespace tvq52;
using namespace tvq52::test;

namespace {

class WeekScheduleTest : public tvq52::test::WindowFixture {
protected:
    void open(const WeekSessions& week, const QString& nightStart = QStringLiteral("22:00"),
              const QString& nightEnd = QStringLiteral("08:00"))
    {
        window_ = std::make_unique<WeekScheduleWindow>(ctx_->translator, prompter_, week, nightStart, nightEnd,
                                                       [this] { ++modifiedMarks_; });
        window_->resize(1280, 800);
        activate(window_.get());
    }
    static WeekSessions week(const char* start, const char* end)
    {
        WeekSessions w;
        w.fill({QString::fromUtf8(start), QString::fromUtf8(end)});
        return w;
    }
    QLineEdit* field(const QString& name) { return window_->findChild<QLineEdit*>(name); }
    void confirm(int day)
    {
        static const char* names[7] = {"SSCommandLunes",   "SSCommandMartes", "SSCommandMiercoles", "SSCommandJueves",
                                       "SSCommandViernes", "SSCommandSabado", "SSCommandDomingo"};
        child<QPushButton>(window_.get(), names[day])->click();
        settle();
    }
    void confirmUpTo(int lastDay)
    {
        for (int d = 0; d <= lastDay; ++d)
            confirm(d);
    }
    // The x positions of every point of the series named `name`.
    std::set<int> pointsOf(const char* name)
    {
        std::set<int> xs;
        for (QAbstractSeries* s : window_->chart()->series())
            if (s->objectName() == QLatin1String(name))
                for (const QPointF& p : static_cast<QLineSeries*>(s)->points())
                    xs.insert(int(p.x()));
        return xs;
    }

    std::unique_ptr<WeekScheduleWindow> window_;
    int modifiedMarks_ = 0;
};

} // namespace

TEST_F(WeekScheduleTest, OpensWithTheHoursOptionAndOnlyMondayOpen)
{
    open(week("00:00", "00:23"));
    for (const char* day : {"Lunes", "Martes", "Miercoles", "Jueves", "Viernes", "Sabado", "Domingo"}) {
        EXPECT_TRUE(child<QRadioButton>(window_.get(), (std::string("OptionHorario") + day).c_str())->isChecked())
            << day;
        EXPECT_EQ(child<QGroupBox>(window_.get(), (std::string("Frame") + day).c_str())->isEnabled(),
                  std::string(day) == "Lunes");
    }
    EXPECT_FALSE(child<QPushButton>(window_.get(), "SSCommandAceptar")->isEnabled());
    EXPECT_EQ(window_->openDay(), 0);
}

TEST_F(WeekScheduleTest, TuesdayMayNotStartBeforeMondayEnds)
{
    WeekSessions w = week("--:--", "--:--");
    w[0] = {QStringLiteral("20:00"), QStringLiteral("02:00")};
    w[1] = {QStringLiteral("02:00"), QStringLiteral("06:00")};
    open(w);
    confirm(0);
    ASSERT_EQ(window_->openDay(), 1);
    EXPECT_TRUE(child<QRadioButton>(window_.get(), "OptionTancatMiercoles")->isChecked());
    child<QRadioButton>(window_.get(), "OptionHorarioMartes")->click();
    confirm(1);
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{91});
    EXPECT_EQ(prompter_.shown().front().text, QStringLiteral("Error con lunes"));
    EXPECT_EQ(window_->openDay(), 1);
    EXPECT_TRUE(field(QStringLiteral("MaskMartesIni"))->hasFocus());

    typeInto(field(QStringLiteral("MaskMartesIni")), QStringLiteral("0201"));
    EXPECT_GT(modifiedMarks_, 0);
    confirm(1);
    EXPECT_EQ(window_->openDay(), 2);
    EXPECT_FALSE(child<QGroupBox>(window_.get(), "FrameMartes")->isEnabled());
}

TEST_F(WeekScheduleTest, StartEqualToEndIsRefusedOnEveryDay)
{
    open(week("--:--", "--:--"));
    for (int d = 0; d < 7; ++d) {
        const QString stem = QStringList{"Lunes", "Martes", "Miercoles", "Jueves", "Viernes", "Sabado", "Domingo"}[d];
        child<QRadioButton>(window_.get(), ("OptionHorario" + stem).toUtf8().constData())->click();
        typeInto(field("Mask" + stem + "Ini"), QStringLiteral("1000"));
        typeInto(field("Mask" + stem + "Fi"), QStringLiteral("1000"));
        prompter_.clear();
        confirm(d);
        EXPECT_EQ(prompter_.catalogueIds(), QList<int>{97}) << d;
        EXPECT_EQ(window_->openDay(), d);
        typeInto(field("Mask" + stem + "Fi"), QStringLiteral("1100"));
        confirm(d);
        EXPECT_EQ(window_->openDay(), d + 1);
    }
    EXPECT_TRUE(pointsOf("Session").count(10)) << "redrawn once Sunday is confirmed";
}

TEST_F(WeekScheduleTest, RetryOpensMondayAgainAndKeepsTheTexts)
{
    open(week("10:00", "12:00"));
    confirmUpTo(2);
    ASSERT_EQ(window_->openDay(), 3);
    child<QPushButton>(window_.get(), "SSCommandRetry")->click();
    EXPECT_EQ(window_->openDay(), 0);
    EXPECT_TRUE(child<QGroupBox>(window_.get(), "FrameLunes")->isEnabled());
    EXPECT_FALSE(child<QGroupBox>(window_.get(), "FrameMiercoles")->isEnabled());
    EXPECT_EQ(field(QStringLiteral("MaskMiercolesIni"))->text(), QStringLiteral("10:00"));
}

TEST_F(WeekScheduleTest, OptionsFillTheTimesAndAnUnreadableTimeIsRefusedOnLeaving)
{
    open(week("10:00", "12:00"));
    child<QRadioButton>(window_.get(), "Option24Lunes")->click();
    EXPECT_EQ(window_->sessions()[0], (SessionHours{QStringLiteral("00:00"), QStringLiteral("23:59")}));
    child<QRadioButton>(window_.get(), "OptionTancatLunes")->click();
    EXPECT_EQ(window_->sessions()[0], (SessionHours{QStringLiteral("--:--"), QStringLiteral("--:--")}));
    // Focusing a time field chooses the hours option.
    focusTo(field(QStringLiteral("MaskLunesIni")));
    EXPECT_TRUE(child<QRadioButton>(window_.get(), "OptionHorarioLunes")->isChecked());
    typeInto(field(QStringLiteral("MaskLunesIni")), QStringLiteral("25"));
    focusTo(field(QStringLiteral("MaskLunesFi")));
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{19});
    EXPECT_TRUE(field(QStringLiteral("MaskLunesIni"))->hasFocus());
}

TEST_F(WeekScheduleTest, ChartShowsLanesNightAndSessions)
{
    WeekSessions w = week("--:--", "--:--");
    w[0] = {QStringLiteral("22:00"), QStringLiteral("03:00")};
    w[2] = {QStringLiteral("23:40"), QStringLiteral("02:00")};
    open(w, QStringLiteral("21:30"), QStringLiteral("07:29"));
    std::set<int> lane1 = pointsOf("Lane1");
    EXPECT_EQ(lane1.size(), 25u);
    EXPECT_EQ(*lane1.rbegin(), 24);
    EXPECT_EQ(pointsOf("Lane7").size(), 25u);
    EXPECT_EQ(pointsOf("DayNight").size(), 169u);

    // Night rounded to 22:00 .. 07:00 each day.
    const std::set<int> night = pointsOf("Night");
    EXPECT_TRUE(night.count(24 + 22));
    EXPECT_FALSE(night.count(24 + 21));

    const std::set<int> sessions = pointsOf("Session");
    const std::set<int> expected{22, 23, 24, 25, 26, 27, 72, 73, 74};
    EXPECT_EQ(sessions, expected);
}

TEST_F(WeekScheduleTest, AcceptCopiesTheWeekIntoTheProgrammingWindow)
{
    ProgrammingWindow programming(programmingWindowNeeds(*ctx_, prompter_));
    programming.resize(1280, 800);
    programming.setWeekScheduleRunner([this](ProgrammingWindow&) -> std::optional<std::array<SessionHours, 7>> {
        WeekSessions w = week("--:--", "--:--");
        w[4] = {QStringLiteral("21:00"), QStringLiteral("04:00")};
        open(w);
        for (int d = 0; d < 7; ++d)
            confirm(d);
        child<QPushButton>(window_.get(), "SSCommandAceptar")->click();
        if (window_->result() != QDialog::Accepted)
            return std::nullopt;
        return window_->sessions();
    });
    activate(&programming);
    programming.setModified(false);
    auto* fridayStart = programming.findChild<QLineEdit*>(QStringLiteral("MaskViernesIni"));
    programming.findChild<QTabWidget*>(QStringLiteral("SSTab2"))->setCurrentIndex(2);
    settle();
    press(fridayStart, Qt::Key_Return);
    EXPECT_EQ(fridayStart->text(), QStringLiteral("21:00"));
    EXPECT_EQ(programming.findChild<QLineEdit*>(QStringLiteral("MaskLunesIni"))->text(), QStringLiteral("--:--"));
    EXPECT_TRUE(programming.isModified());
}
