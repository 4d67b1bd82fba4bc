#include "monitor/gui/monitor_window.h"

#include "core/application_info.h"
#include "i18n/translator.h"
#include "link/clock.h"
#include "link/exchange_session.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

namespace tvq52 {

namespace {

// The chart keeps a few points a second: enough for a trend, light to draw
// at any stream rate.
constexpr qint64 kChartPointMs = 250;

QLabel* label(QWidget* parent, const char* name, const QString& text = {})
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

// Widgets that come and go with the readings keep their room while hidden,
// so the window neither grows nor jumps when an alarm first shows.
void keepRoomWhenHidden(QWidget* w)
{
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
}

QLabel* alarm(QWidget* parent, const char* name, const QString& text)
{
    QLabel* l = label(parent, name, text);
    l->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
    l->setAlignment(Qt::AlignCenter);
    keepRoomWhenHidden(l);
    l->hide();
    return l;
}

} // namespace

MonitorWindow::MonitorWindow(const Translator& translator, Prompter& prompter, SessionSource openSession,
                             std::function<void()> openHelp, QWidget* parent)
    : QDialog(parent),
      translator_(translator),
      prompter_(prompter),
      openSession_(std::move(openSession)),
      openHelp_(std::move(openHelp))
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitleOf(this, translator_.translate(QStringLiteral("Tiempo real")));
    setModal(true);
    buildUi();
    translator_.translateWindow(this);
    resetDisplay();
}

MonitorWindow::~MonitorWindow() = default;

void MonitorWindow::buildUi()
{
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buildReadings());
    layout->addLayout(buildAlarms());
    layout->addWidget(buildChart(), 1);
    layout->addLayout(buildButtons());
}

QGridLayout* MonitorWindow::buildReadings()
{
    auto* grid = new QGridLayout;
    date_ = label(this, "LbFecha");
    time_ = label(this, "LbHora");
    session_ = label(this, "LbSesion", QStringLiteral("Sesión"));
    keepRoomWhenHidden(session_);
    session_->hide();
    period_ = label(this, "LbNoche");
    grid->addWidget(date_, 0, 0);
    grid->addWidget(time_, 0, 1);
    grid->addWidget(period_, 0, 2);
    grid->addWidget(session_, 0, 3);

    QFont big = font();
    big.setPointSize(big.pointSize() * 3);
    big.setBold(true);
    level_ = label(this, "LbNivel");
    level_->setFont(big);
    level_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    level_->setMinimumWidth(QFontMetrics(big).horizontalAdvance(QStringLiteral("120.0")) + 8);
    auto* unit = label(this, "Label4", QStringLiteral("dBA"));
    attenuation_ = label(this, "LbAtenuador", QStringLiteral("-60"));
    attenuation_->setFont(big);
    attenuation_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    attenuation_->setMinimumWidth(QFontMetrics(big).horizontalAdvance(QStringLiteral("-60")) + 8);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("ProgressBar1"));
    bar_->setRange(0, kBarMaximum);
    bar_->setTextVisible(false);
    keepRoomWhenHidden(bar_);
    grid->addWidget(level_, 1, 0, 1, 2);
    grid->addWidget(unit, 1, 2);
    grid->addWidget(attenuation_, 2, 0, 1, 2);
    grid->addWidget(bar_, 2, 2, 1, 2);
    return grid;
}

QHBoxLayout* MonitorWindow::buildAlarms()
{
    mains_ = alarm(this, "LbRed", QStringLiteral("DESCONEXIÓN DE RED"));
    sensor_ = alarm(this, "LbSensor", QStringLiteral("SENSOR INACTIVO"));
    nonWorking_ = alarm(this, "LbInhabil", QStringLiteral("INTERVALO INHÁBIL"));
    auto* alarms = new QHBoxLayout;
    for (QLabel* l : {mains_, sensor_, nonWorking_})
        alarms->addWidget(l);
    return alarms;
}

QChartView* MonitorWindow::buildChart()
{
    auto* chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));
    levelSeries_ = new QLineSeries(chart);
    levelSeries_->setName(QStringLiteral("Nivel dBA"));
    attenuationSeries_ = new QLineSeries(chart);
    attenuationSeries_->setName(QStringLiteral("Atenuación dB"));
    chart->addSeries(levelSeries_);
    chart->addSeries(attenuationSeries_);
    timeAxis_ = new QValueAxis(chart);
    timeAxis_->setLabelFormat(QStringLiteral("%d s"));
    timeAxis_->setTickCount(6);
    auto* dbAxis = new QValueAxis(chart);
    dbAxis->setRange(0, 120);
    dbAxis->setTickCount(5);
    dbAxis->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(timeAxis_, Qt::AlignBottom);
    chart->addAxis(dbAxis, Qt::AlignLeft);
    for (QLineSeries* s : {levelSeries_, attenuationSeries_}) {
        s->attachAxis(timeAxis_);
        s->attachAxis(dbAxis);
    }
    chart_ = new QChartView(chart, this);
    chart_->setObjectName(QStringLiteral("ChartTendencia"));
    chart_->setRenderHint(QPainter::Antialiasing);
    chart_->setMinimumSize(420, 220);
    return chart_;
}

QHBoxLayout* MonitorWindow::buildButtons()
{
    auto* buttons = new QHBoxLayout;
    auto add = [&](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    run_ = add("SSCommandRun", QStringLiteral("Iniciar"));
    stop_ = add("SSCommandStop", QStringLiteral("Parar"));
    stop_->hide();
    buttons->addStretch();
    help_ = add("SSCommandHelp", QStringLiteral("Ayuda"));
    exit_ = add("SSCommandExit", QStringLiteral("Salir"));
    connect(run_, &QPushButton::clicked, this, &MonitorWindow::run);
    connect(stop_, &QPushButton::clicked, this, &MonitorWindow::stop);
    connect(exit_, &QPushButton::clicked, this, &QWidget::close);
    connect(help_, &QPushButton::clicked, this, [this] {
        if (openHelp_)
            openHelp_();
    });
    return buttons;
}

void MonitorWindow::resetDisplay()
{
    // Nothing of an earlier run stays on show.
    for (QLabel* l : {date_, time_, period_})
        l->clear();
    for (QWidget* w : {static_cast<QWidget*>(session_), static_cast<QWidget*>(mains_), static_cast<QWidget*>(sensor_),
                       static_cast<QWidget*>(nonWorking_), static_cast<QWidget*>(bar_)})
        w->hide();
    bar_->setValue(0);
    attenuation_->setText(QStringLiteral("0"));
    level_->setText(QStringLiteral("---"));
    levelSeries_->clear();
    attenuationSeries_->clear();
    chartStartMs_ = -1;
    showTimeRange(0.0);
}

void MonitorWindow::showTimeRange(double at)
{
    // Seconds since the first reading, growing to the right; the last
    // minutes once the run is longer than the chart.
    timeAxis_->setRange(std::max(0.0, at - kChartSeconds), std::max(double(kChartSeconds), at));
}

void MonitorWindow::runFor(QWidget* owner, const QString& phone, qint32 serial)
{
    phone_ = phone;
    serial_ = serial;
    setWindowTitleOf(this, translator_.translate(QStringLiteral("Tiempo real")), unitCaption(serial));
    monitor_.reset();
    exchange_ = openSession_(nullptr, nullptr);
    monitor_ = std::make_unique<RealTimeMonitor>(*exchange_, prompter_, translator_, *this);
    resetDisplay();
    if (owner) {
        adjustSize();
        const QRect o = owner->frameGeometry();
        // 100 twips in from the owner's top-right corner (1440 twips an inch).
        const int inset = qRound(100.0 * logicalDpiX() / 1440.0);
        move(o.left() + o.width() - width() - inset, o.top() + inset);
    }
    exec();
}

void MonitorWindow::run()
{
    if (monitor_ && !monitor_->isRunning())
        monitor_->run(phone_, serial_);
}

void MonitorWindow::stop()
{
    if (monitor_)
        monitor_->stop();
    stop_->hide();
    run_->show();
    exit_->setEnabled(true);
}

void MonitorWindow::runStarted()
{
    run_->hide();
    stop_->show();
    exit_->setEnabled(false);
    help_->setEnabled(false);
}

void MonitorWindow::showReading(const RealTimeReading& reading)
{
    const ReadingDisplay d = displayReading(reading, translator_, QLocale().decimalPoint().at(0));
    date_->setText(d.date);
    time_->setText(d.time);
    session_->setVisible(d.session);
    period_->setText(d.period);
    mains_->setVisible(d.mainsOff);
    sensor_->setVisible(d.sensorOff);
    nonWorking_->setVisible(d.nonWorking);
    level_->setText(d.level);
    attenuation_->setText(d.attenuation);
    bar_->setVisible(d.bar != 0);
    if (d.bar != 0)
        bar_->setValue(d.bar);

    const qint64 now = exchange_ ? exchange_->clock().elapsedMs() : 0;
    if (chartStartMs_ < 0)
        chartStartMs_ = now;
    const double at = double(now - chartStartMs_) / 1000.0;
    const int points = attenuationSeries_->count();
    if (points > 0 && (at - attenuationSeries_->at(points - 1).x()) * 1000.0 < kChartPointMs)
        return;
    // The level line pauses while the sensor is out.
    if (d.levelDb)
        levelSeries_->append(at, *d.levelDb);
    attenuationSeries_->append(at, d.attenuationDb);
    for (QLineSeries* series : {levelSeries_, attenuationSeries_}) {
        int old = 0;
        while (old < series->count() && series->at(old).x() < at - kChartSeconds)
            ++old;
        if (old > 0)
            series->removePoints(0, old);
    }
    showTimeRange(at);
}

void MonitorWindow::runEnded()
{
    run_->show();
    stop_->hide();
    help_->setEnabled(true);
    exit_->setEnabled(true);
}

void MonitorWindow::closeWindow()
{
    done(QDialog::Rejected);
}

void MonitorWindow::closeEvent(QCloseEvent* event)
{
    if (monitor_ && !monitor_->requestClose()) {
        stop_->hide();
        run_->show();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void MonitorWindow::reject()
{
    // Escape during a run closes once the run has ended, like the close button.
    if (monitor_ && !monitor_->requestClose()) {
        stop_->hide();
        run_->show();
        return;
    }
    QDialog::reject();
}

} // namespace tvq52
