#include "programming/gui/week_schedule_window.h"

#include "core/application_info.h"
#include "core/catalogue_ids.h"
#include "core/prompter.h"
#include "i18n/catalogue_message.h"
#include "i18n/translator.h"
#include "programming/gui/field_rules.h"
#include "programming/time_text.h"
#include "programming/week_chart.h"

#include <QButtonGroup>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QGraphicsSimpleTextItem>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>
#include <QValueAxis>

namespace tvq52 {

namespace {

const char* const kDayStems[7] = {"Lunes", "Martes", "Miercoles", "Jueves", "Viernes", "Sabado", "Domingo"};
const QString kTimeMask = QStringLiteral("99:99;_");

QString name(const char* prefix, int day, const char* suffix = "")
{
    return QString::fromUtf8(prefix) + QString::fromUtf8(kDayStems[day]) + QString::fromUtf8(suffix);
}

// Splits the points where `on` holds into runs, one line series each.
QList<QLineSeries*> runs(const std::array<bool, kWeekPoints>& on, double value, const QString& objectName,
                         const QPen& pen)
{
    QList<QLineSeries*> list;
    QLineSeries* current = nullptr;
    for (int i = 0; i < kWeekPoints; ++i) {
        if (!on[i]) {
            current = nullptr;
            continue;
        }
        if (!current) {
            current = new QLineSeries;
            current->setObjectName(objectName);
            current->setPen(pen);
            list << current;
        }
        current->append(i, value);
    }
    return list;
}

} // namespace

WeekScheduleWindow::WeekScheduleWindow(const Translator& translator, Prompter& prompter, const WeekSessions& sessions,
                                       const QString& nightStart, const QString& nightEnd,
                                       std::function<void()> markModified, QWidget* parent)
    : QDialog(parent),
      translator_(translator),
      prompter_(prompter),
      nightStart_(nightStart),
      nightEnd_(nightEnd),
      markModified_(std::move(markModified))
{
    setObjectName(QStringLiteral("Form10"));
    setModal(true);
    setWindowTitleOf(this, translator_.translate(QStringLiteral("Horario")));
    buildUi();
    for (int d = 0; d < 7; ++d) {
        setDayTexts(d, sessions[d]);
        const DayOption option = dayOptionOf(sessions[d]);
        (option == DayOption::Closed       ? days_[d].closed
             : option == DayOption::AllDay ? days_[d].allDay
                                           : days_[d].hours)
            ->setChecked(true);
    }
    openOnly(0);
    buildChart();
    translator_.translateWindow(this);
}

void WeekScheduleWindow::buildUi()
{
    rules_ = new FieldRules(this, [this] {
        if (markModified_)
            markModified_();
    });
    rules_->everyKeyEdits();
    auto* layout = new QVBoxLayout(this);
    auto* daysRow = new QHBoxLayout;
    for (int d = 0; d < 7; ++d)
        daysRow->addWidget(buildDay(d));
    layout->addLayout(daysRow);

    chartView_ = new QChartView(this);
    chartView_->setObjectName(QStringLiteral("Chart2D1"));
    chartView_->setRenderHint(QPainter::Antialiasing);
    chartView_->setMinimumHeight(260);
    layout->addWidget(chartView_, 1);
    layout->addLayout(buildButtons());
}

QGroupBox* WeekScheduleWindow::buildDay(int d)
{
    DayControls& c = days_[d];
    c.frame = new QGroupBox(translator_.text(msg::Monday + d), this);
    c.frame->setObjectName(name("Frame", d));
    auto* grid = new QGridLayout(c.frame);
    c.start = new QLineEdit(c.frame);
    c.start->setObjectName(name("Mask", d, "Ini"));
    c.end = new QLineEdit(c.frame);
    c.end->setObjectName(name("Mask", d, "Fi"));
    c.allDay = new QRadioButton(QStringLiteral("24 h"), c.frame);
    c.allDay->setObjectName(name("Option24", d));
    c.hours = new QRadioButton(QStringLiteral("Horario"), c.frame);
    c.hours->setObjectName(name("OptionHorario", d));
    c.closed = new QRadioButton(QStringLiteral("Cerrado"), c.frame);
    c.closed->setObjectName(name("OptionTancat", d));
    auto* group = new QButtonGroup(c.frame);
    for (QRadioButton* b : {c.allDay, c.hours, c.closed})
        group->addButton(b);
    c.confirm = new QPushButton(QStringLiteral("Confirmar"), c.frame);
    c.confirm->setObjectName(name("SSCommand", d));
    for (QLineEdit* e : {c.start, c.end}) {
        e->setInputMask(kTimeMask);
        e->setAlignment(Qt::AlignCenter);
        // Narrow day frames (short captions) must still show a whole time.
        e->setMinimumWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("00:00"))
                           + 2 * e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 10);
        rules_->watch(e, FieldRules::Keys::NoBlanks);
        rules_->onEnter(e, [this, d] {
            if (!days_[d].hours->isChecked())
                chooseOption(d, DayOption::Hours);
        });
        rules_->onLeave(e, [this, e] {
            if (e->text() != kClosedTime && !isValidClockTime(e->text()))
                rules_->refocusLater(
                    e, [this] { showCatalogue(prompter_, translator_, msg::WrongTime, MessageStyle::Critical); });
        });
    }
    grid->addWidget(c.start, 0, 0);
    grid->addWidget(c.end, 0, 1);
    grid->addWidget(c.allDay, 1, 0, 1, 2);
    grid->addWidget(c.hours, 2, 0, 1, 2);
    grid->addWidget(c.closed, 3, 0, 1, 2);
    grid->addWidget(c.confirm, 4, 0, 1, 2);
    connect(c.allDay, &QRadioButton::clicked, this, [this, d] { chooseOption(d, DayOption::AllDay); });
    connect(c.hours, &QRadioButton::clicked, this, [this, d] { chooseOption(d, DayOption::Hours); });
    connect(c.closed, &QRadioButton::clicked, this, [this, d] { chooseOption(d, DayOption::Closed); });
    connect(c.confirm, &QPushButton::clicked, this, &WeekScheduleWindow::confirmOpenDay);
    return c.frame;
}

QHBoxLayout* WeekScheduleWindow::buildButtons()
{
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    accept_ = new QPushButton(QStringLiteral("Aceptar"), this);
    accept_->setObjectName(QStringLiteral("SSCommandAceptar"));
    auto* retryButton = new QPushButton(QStringLiteral("Reintentar"), this);
    retryButton->setObjectName(QStringLiteral("SSCommandRetry"));
    auto* exit = new QPushButton(QStringLiteral("Salir"), this);
    exit->setObjectName(QStringLiteral("SSCommandExit"));
    for (QPushButton* b : {accept_, retryButton, exit}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    connect(accept_, &QPushButton::clicked, this, &QDialog::accept);
    connect(retryButton, &QPushButton::clicked, this, &WeekScheduleWindow::retry);
    connect(exit, &QPushButton::clicked, this, &QDialog::reject);
    return buttons;
}

void WeekScheduleWindow::buildChart()
{
    chart_ = new QChart;
    chart_->setObjectName(QStringLiteral("WeekChart"));
    chart_->legend()->setAlignment(Qt::AlignBottom);
    // The view gives up the empty chart it was built with but does not delete it.
    QChart* blank = chartView_->chart();
    chartView_->setChart(chart_);
    delete blank;

    auto* xAxis = new QCategoryAxis;
    xAxis->setRange(0, kWeekPoints - 1);
    xAxis->setStartValue(0);
    for (int d = 0; d < 7; ++d)
        xAxis->append(translator_.text(msg::Monday + d), 24 * (d + 1));
    xAxis->setGridLineVisible(true);
    auto* yAxis = new QValueAxis;
    yAxis->setRange(1.2, 4.5);
    yAxis->setVisible(false);
    chart_->addAxis(xAxis, Qt::AlignBottom);
    chart_->addAxis(yAxis, Qt::AlignLeft);

    auto add = [&](QLineSeries* s, const QString& legend) {
        chart_->addSeries(s);
        s->attachAxis(xAxis);
        s->attachAxis(yAxis);
        s->setName(legend);
        for (QLegendMarker* m : chart_->legend()->markers(s))
            m->setVisible(!legend.isEmpty());
    };

    const WeekChartData chartData = weekChart(sessions(), nightStart_, nightEnd_);
    static const QColor laneColours[2] = {QColor(0x5b, 0x7d, 0xb1), QColor(0x9c, 0xb6, 0xd8)};
    for (int d = 0; d < 7; ++d) {
        auto* lane = new QLineSeries;
        lane->setObjectName(QStringLiteral("Lane%1").arg(d + 1));
        lane->setPen(QPen(laneColours[d % 2], 8));
        for (int i = 0; i < kWeekPoints; ++i)
            if (chartData.lanes[d][i])
                lane->append(i, *chartData.lanes[d][i]);
        add(lane, {});
    }
    auto* day = new QLineSeries;
    day->setObjectName(QStringLiteral("DayNight"));
    day->setPen(QPen(QColor(0xf2, 0xc9, 0x4c), 14));
    for (int i = 0; i < kWeekPoints; ++i)
        day->append(i, chartData.dayNight[i]);
    add(day, translator_.text(msg::Day));

    std::array<bool, kWeekPoints> night{};
    for (int i = 0; i < kWeekPoints; ++i)
        night[i] = chartData.night[i].has_value();
    bool first = true;
    for (QLineSeries* s : runs(night, kDayNightValue, QStringLiteral("Night"), QPen(QColor(0x1f, 0x2a, 0x56), 14))) {
        add(s, first ? translator_.text(msg::Night) : QString());
        first = false;
    }

    for (int i = 0; i < kWeekPoints; ++i)
        if (chartData.nightLabels[i] != QLatin1String(" ")) {
            auto* label = new QGraphicsSimpleTextItem(chartData.nightLabels[i], chart_);
            label->setFont(font());
            nightLabels_ << label;
            nightLabelPoints_ << i;
        }
    connect(chart_, &QChart::plotAreaChanged, this, &WeekScheduleWindow::placeNightLabels);
    drawSessions();
}

void WeekScheduleWindow::drawSessions()
{
    for (QAbstractSeries* s : chart_->series())
        if (s->objectName() == QLatin1String("Session")) {
            chart_->removeSeries(s);
            delete s;
        }
    const WeekChartData week = weekChart(sessions(), nightStart_, nightEnd_);
    std::array<bool, kWeekPoints> on{};
    for (int i = 0; i < kWeekPoints; ++i)
        on[i] = week.sessions[i] == kSessionValue;
    bool first = true;
    for (QLineSeries* s : runs(on, kSessionValue, QStringLiteral("Session"), QPen(QColor(0x2e, 0x9e, 0x4f), 10))) {
        chart_->addSeries(s);
        for (QAbstractAxis* a : chart_->axes())
            s->attachAxis(a);
        s->setName(first ? translator_.text(msg::Session) : QString());
        for (QLegendMarker* m : chart_->legend()->markers(s))
            m->setVisible(first);
        first = false;
    }
}

void WeekScheduleWindow::placeNightLabels()
{
    QAbstractSeries* anchor = nullptr;
    for (QAbstractSeries* s : chart_->series())
        if (s->objectName() == QLatin1String("DayNight"))
            anchor = s;
    if (!anchor)
        return;
    for (int k = 0; k < nightLabels_.size(); ++k) {
        const QPointF at = chart_->mapToPosition(QPointF(nightLabelPoints_[k], kDayNightValue), anchor);
        const QRectF box = nightLabels_[k]->boundingRect();
        nightLabels_[k]->setPos(at.x() - box.width() / 2, at.y() + 10);
    }
}

void WeekScheduleWindow::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    placeNightLabels();
}

WeekSessions WeekScheduleWindow::sessions() const
{
    WeekSessions week;
    for (int d = 0; d < 7; ++d)
        week[d] = {days_[d].start->text(), days_[d].end->text()};
    return week;
}

void WeekScheduleWindow::setDayTexts(int day, const SessionHours& hours)
{
    // A closed day's "--:--" does not fit the time mask, which comes back
    // with the hours option.
    for (auto [field, text] : {std::pair{days_[day].start, hours.start}, std::pair{days_[day].end, hours.end}}) {
        const bool closed = text == kClosedTime;
        field->setInputMask(closed ? QString() : kTimeMask);
        field->setText(text);
    }
}

void WeekScheduleWindow::chooseOption(int day, DayOption option)
{
    DayControls& c = days_[day];
    if (option == DayOption::Hours && c.start->text() == kClosedTime)
        setDayTexts(day, {QString(), QString()});
    else
        setDayTexts(day, applyDayOption(sessions()[day], option));
    (option == DayOption::Closed ? c.closed : option == DayOption::AllDay ? c.allDay : c.hours)->setChecked(true);
}

void WeekScheduleWindow::openOnly(int day)
{
    openDay_ = day;
    for (int d = 0; d < 7; ++d) {
        days_[d].frame->setEnabled(d == day);
        days_[d].confirm->setEnabled(d == day);
    }
    accept_->setEnabled(day == 7);
    // The open day's button takes the focus: a time field would switch the day to hours.
    (day < 7 ? days_[day].confirm : accept_)->setFocus();
}

void WeekScheduleWindow::confirmOpenDay()
{
    if (openDay_ > 6)
        return;
    const int day = openDay_;
    const DayConfirmation c = confirmDay(sessions(), day);
    if (!c.accepted()) {
        showCatalogue(prompter_, translator_, c.messageId, MessageStyle::Critical);
        rules_->refocusNow(c.focus == DayConfirmation::Field::End ? days_[day].end : days_[day].start);
        return;
    }
    if (c.closed)
        chooseOption(day, DayOption::Closed);
    openOnly(day + 1);
    if (day == 6)
        drawSessions();
}

void WeekScheduleWindow::retry()
{
    openOnly(0);
}

} // namespace tvq52
