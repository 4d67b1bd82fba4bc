#include "reports/gui/history_graph.h"

#include "core/application_info.h"
#include "core/prompter.h"
#include "i18n/translator.h"
#include "records/shown_unit.h"
#include "reports/graph_store.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <cmath>

namespace tvq52 {

namespace {

constexpr float kHistoryBottom = 10;
constexpr float kHistoryTop = 130;
constexpr int kMarkStrip = 14; // the strip above the levels that holds the marks
const QColor kVenue(0, 90, 200);
const QColor kNeighbour(0, 150, 60);
const QColor kNight(225, 230, 245);
const QColor kInactive(150, 150, 150);
const QColor kPass(220, 40, 40);

QDateTime atMinute(qint64 minute)
{
    return QDateTime::fromSecsSinceEpoch(minute * 60, Qt::UTC);
}

// A step between time ticks that leaves room for their texts.
qint64 tickStep(qint64 span, int width, int labelWidth)
{
    static const qint64 steps[] = {10,       30,       60,        180,       360,       720,        1440,
                                   2 * 1440, 7 * 1440, 14 * 1440, 28 * 1440, 91 * 1440, 182 * 1440, 365 * 1440};
    for (qint64 s : steps)
        if (double(s) * width / double(span) >= labelWidth)
            return s;
    return 365 * 1440;
}

// Where minutes and levels fall in the plot.
struct PlotScale {
    QRect area;
    QRect plot;
    qint64 from = 0;
    qint64 to = 1;

    double x(qint64 minute) const { return plot.left() + double(minute - from) * plot.width() / double(to - from); }
    double y(float level) const
    {
        const float clamped = std::clamp(level, kHistoryBottom, kHistoryTop);
        return plot.bottom() - double(clamped - kHistoryBottom) * plot.height() / double(kHistoryTop - kHistoryBottom);
    }
};

// The level grid and its scale.
void drawLevelGrid(QPainter& painter, const PlotScale& s)
{
    const QFontMetrics fm(painter.fontMetrics());
    painter.setPen(QPen(QColor(220, 220, 220), 0));
    for (int level = int(kHistoryBottom); level <= int(kHistoryTop); level += 10) {
        const double y = s.y(float(level));
        painter.setPen(QPen(QColor(225, 225, 225), 0));
        painter.drawLine(QPointF(s.plot.left(), y), QPointF(s.plot.right(), y));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(s.area.left(), y - fm.height() / 2.0, s.plot.left() - s.area.left() - 4, fm.height()),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(level));
    }
}

// Time ticks: hours when they are close, else dates.
void drawTimeTicks(QPainter& painter, const PlotScale& s)
{
    const QFontMetrics fm(painter.fontMetrics());
    const qint64 step = tickStep(s.to - s.from, s.plot.width(), fm.horizontalAdvance(QStringLiteral("00/00/00")) + 16);
    const bool hours = step < 1440;
    qint64 tick = (s.from / step + 1) * step;
    if (step >= 7 * 1440) {
        // Weeks and more start on the first of a month.
        const QDate d = atMinute(s.from).date();
        tick = QDateTime(QDate(d.year(), d.month(), 1).addMonths(1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch() / 60;
    }
    while (tick < s.to) {
        const double x = s.x(tick);
        painter.setPen(QPen(QColor(200, 200, 200), 0, Qt::DotLine));
        painter.drawLine(QPointF(x, s.plot.top()), QPointF(x, s.plot.bottom()));
        painter.setPen(Qt::black);
        const QDateTime at = atMinute(tick);
        const QString first = at.date().toString(QStringLiteral("dd/MM/yy"));
        // Kept inside the widget at both ends.
        const double half = fm.horizontalAdvance(first) / 2.0 + 2;
        const double cx = std::clamp(x, s.area.left() + half, s.area.right() - half);
        painter.drawText(QRectF(cx - 60, s.plot.bottom() + 4, 120, fm.height()), Qt::AlignHCenter, first);
        if (hours)
            painter.drawText(QRectF(cx - 60, s.plot.bottom() + 4 + fm.height(), 120, fm.height()), Qt::AlignHCenter,
                             at.time().toString(QStringLiteral("hh:mm")));
        if (step >= 7 * 1440) {
            const int months = step >= 365 * 1440 ? 12 : step >= 182 * 1440 ? 6 : step >= 91 * 1440 ? 3 : 1;
            tick = QDateTime(at.date().addMonths(months), QTime(0, 0), Qt::UTC).toSecsSinceEpoch() / 60;
        } else {
            tick += step;
        }
    }
}

// The marks above the levels: passes in red, an inactive sensor in grey.
void drawMarks(QPainter& painter, const PlotScale& s, const HistoryData& data)
{
    const int width = s.plot.width();
    const std::vector<std::uint8_t> flags = flagColumns(data, s.from, s.to, width);
    const int markTop = s.plot.top() - kMarkStrip - 2;
    for (int x = 0; x < width; ++x) {
        const std::uint8_t f = flags[std::size_t(x)];
        if (f & HistoryData::SensorInactive)
            painter.fillRect(QRectF(s.plot.left() + x, s.plot.top(), 1, s.plot.height()), QColor(150, 150, 150, 90));
        if (f & (HistoryData::PassVenue | HistoryData::PassNeighbour))
            painter.fillRect(QRectF(s.plot.left() + x, markTop, 1, kMarkStrip / 2), kPass);
        if (f & HistoryData::SensorInactive)
            painter.fillRect(QRectF(s.plot.left() + x, markTop + kMarkStrip / 2, 1, kMarkStrip / 2), kInactive);
    }
}

void drawCurve(QPainter& painter, const PlotScale& s, const HistoryData& data, HistoryCurve curve, const QPen& pen)
{
    painter.setPen(pen);
    const double left = s.plot.left();
    QList<QLineF> lines;
    for (const CurveRun& run : decimateCurve(data, curve, s.from, s.to, s.plot.width())) {
        for (std::size_t k = 0; k < run.size(); ++k) {
            const CurveColumn& c = run[k];
            const double x = left + c.x + 0.5;
            if (c.low != c.high)
                lines.append(QLineF(x, s.y(c.low), x, s.y(c.high)));
            if (k > 0) {
                const CurveColumn& p = run[k - 1];
                // Join the columns where their ranges meet.
                const float a = std::clamp(c.low, p.low, p.high);
                const float b = std::clamp(a, c.low, c.high);
                lines.append(QLineF(left + p.x + 0.5, s.y(a), x, s.y(b)));
            }
        }
        if (run.size() == 1)
            lines.append(QLineF(left + run[0].x, s.y(run[0].high), left + run[0].x + 1.5, s.y(run[0].high)));
    }
    painter.drawLines(lines);
}

void drawCurves(QPainter& painter, const PlotScale& s, const HistoryData& data)
{
    painter.save();
    painter.setClipRect(s.plot);
    painter.setRenderHint(QPainter::Antialiasing, false);
    drawCurve(painter, s, data, HistoryCurve::Neighbour, QPen(kNeighbour, 1));
    drawCurve(painter, s, data, HistoryCurve::Venue, QPen(kVenue, 1));
    drawCurve(painter, s, data, HistoryCurve::LimitNeighbour, QPen(kNeighbour.darker(140), 2, Qt::DashLine));
    drawCurve(painter, s, data, HistoryCurve::LimitVenue, QPen(kVenue.darker(140), 2, Qt::DashLine));
    painter.restore();
}

// The key, above the marks.
void drawKey(QPainter& painter, const PlotScale& s, const HistoryTexts& texts)
{
    const QFontMetrics fm(painter.fontMetrics());
    int x = s.plot.left();
    const int y = s.area.top() + 2;
    const auto key = [&](const QColor& color, const QString& text, bool box) {
        if (box)
            painter.fillRect(QRect(x, y + 3, 14, fm.height() - 6), color);
        else
            painter.fillRect(QRect(x, y + fm.height() / 2 - 1, 14, 3), color);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(x + 18, y + fm.ascent()), text);
        x += 30 + fm.horizontalAdvance(text);
    };
    key(kVenue, texts.venue, false);
    key(kNeighbour, texts.neighbour, false);
    key(kVenue.darker(140), texts.limits, false);
    key(kNight, texts.night, true);
    key(kPass, texts.passes, true);
    key(kInactive, texts.inactive, true);
}

} // namespace

HistoryGraph::HistoryGraph(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(400, 250);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void HistoryGraph::setData(HistoryData data, const QTime& nightStart, const QTime& nightEnd)
{
    data_ = std::move(data);
    nightStart_ = nightStart;
    nightEnd_ = nightEnd;
    showAll();
}

void HistoryGraph::setTexts(const HistoryTexts& texts)
{
    texts_ = texts;
    update();
}

void HistoryGraph::setViewport(const HistoryViewport& view)
{
    view_ = view;
    update();
    emit viewportChanged();
}

void HistoryGraph::zoom(double factor, double anchor)
{
    setViewport(view_.zoomed(factor, anchor, data_));
}

void HistoryGraph::pan(double fraction)
{
    setViewport(view_.panned(fraction, data_));
}

void HistoryGraph::showAll()
{
    setViewport(HistoryViewport::whole(data_));
}

QRect HistoryGraph::plotRect(const QRect& area) const
{
    const QFontMetrics fm(font());
    const int left = fm.horizontalAdvance(QStringLiteral("130")) + 12;
    const int bottom = 2 * fm.height() + 10;
    const int top = fm.height() + kMarkStrip + 10;
    return area.adjusted(left, top, -10, -bottom);
}

void HistoryGraph::paintGraph(QPainter& painter, const QRect& area) const
{
    painter.fillRect(area, Qt::white);
    const PlotScale s{area, plotRect(area), view_.from, view_.to};
    if (s.plot.width() <= 0 || s.plot.height() <= 0)
        return;
    for (const MinuteSpan& night : nightSpans(s.from, s.to, nightStart_, nightEnd_))
        painter.fillRect(QRectF(QPointF(s.x(night.from), s.plot.top()), QPointF(s.x(night.to), s.plot.bottom())),
                         kNight);
    drawLevelGrid(painter, s);
    drawTimeTicks(painter, s);
    if (data_.size() == 0) {
        painter.setPen(Qt::darkGray);
        painter.drawText(s.plot, Qt::AlignCenter, texts_.noRecords);
    }
    drawMarks(painter, s, data_);
    drawCurves(painter, s, data_);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(s.plot);
    drawKey(painter, s, texts_);
}

void HistoryGraph::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintGraph(painter, rect());
    if (hasFocus()) {
        painter.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void HistoryGraph::wheelEvent(QWheelEvent* event)
{
    const QRect plot = plotRect(rect());
    const double anchor = std::clamp((event->position().x() - plot.left()) / std::max(plot.width(), 1), 0.0, 1.0);
    const double notches = event->angleDelta().y() / 120.0;
    if (notches != 0)
        zoom(std::pow(0.8, notches), anchor);
    event->accept();
}

void HistoryGraph::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        dragging_ = true;
        dragX_ = int(event->position().x());
        dragFrom_ = view_;
        setCursor(Qt::ClosedHandCursor);
    }
}

void HistoryGraph::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_)
        return;
    const int w = std::max(plotRect(rect()).width(), 1);
    setViewport(dragFrom_.panned(-(event->position().x() - dragX_) / w, data_));
}

void HistoryGraph::mouseReleaseEvent(QMouseEvent*)
{
    dragging_ = false;
    unsetCursor();
}

void HistoryGraph::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left:
        pan(-0.1);
        break;
    case Qt::Key_Right:
        pan(0.1);
        break;
    case Qt::Key_Plus:
    case Qt::Key_Up:
        zoom(0.8);
        break;
    case Qt::Key_Minus:
    case Qt::Key_Down:
        zoom(1.25);
        break;
    case Qt::Key_Home:
        showAll();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

HistoryGraphWindow::HistoryGraphWindow(const Translator& translator, Prompter& prompter, Database* database, QWidget* parent)
    : QDialog(parent), translator_(translator), prompter_(prompter), database_(database)
{
    setObjectName(QStringLiteral("FormHistorial"));
    setWindowTitleOf(this, translator_.translate(QStringLiteral("Historial completo")));
    auto* layout = new QVBoxLayout(this);
    span_ = new QLabel(this);
    span_->setObjectName(QStringLiteral("LbPeriodo"));
    layout->addWidget(span_);
    graph_ = new HistoryGraph(this);
    graph_->setObjectName(QStringLiteral("GraficoHistorial"));
    layout->addWidget(graph_, 1);
    auto* buttons = new QHBoxLayout;
    auto add = [&](const char* caption, const char* name) {
        auto* b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QString::fromUtf8(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    connect(add("Acercar", "SSCommandAcercar"), &QPushButton::clicked, graph_, [this] { graph_->zoom(0.5); });
    connect(add("Alejar", "SSCommandAlejar"), &QPushButton::clicked, graph_, [this] { graph_->zoom(2); });
    connect(add("Todo", "SSCommandTodo"), &QPushButton::clicked, graph_, &HistoryGraph::showAll);
    buttons->addStretch();
    connect(add("Salir", "SSCommandExit"), &QPushButton::clicked, this, &QDialog::close);
    layout->addLayout(buttons);
    connect(graph_, &HistoryGraph::viewportChanged, this, &HistoryGraphWindow::showSpan);
    translator_.translateWindow(this);
    const auto tr = [this](const char* text) { return translator_.translate(QString::fromUtf8(text)); };
    graph_->setTexts({tr("No hay registros"), tr("Noche"), tr("Sensor inactivo"), tr("Pasadas"), tr("Leq emisión"),
                      tr("Leq recepción"), tr("Límites")});
    if (const QScreen* sc = screen())
        resize(QSize(1000, 640).boundedTo(sc->availableGeometry().size() - QSize(16, 48)));
}

bool HistoryGraphWindow::load(const ShownUnit& unit)
{
    HistoryData loaded;
    bool ok = database_ != nullptr;
    if (ok) {
        Result<HistoryData> read = loadHistory(*database_, unit.serial);
        ok = read.ok();
        if (ok)
            loaded = std::move(*read);
        else
            prompter_.show(read.error().detail, MessageStyle::Critical);
    }
    graph_->setData(std::move(loaded), QTime::fromString(unit.nightStart, QStringLiteral("hh:mm")),
                    QTime::fromString(unit.nightEnd, QStringLiteral("hh:mm")));
    setWindowTitleOf(this, translator_.translate(QStringLiteral("Historial completo")),
                     unitCaption(unit.serial, unit.venue));
    return ok;
}

void HistoryGraphWindow::showSpan()
{
    const HistoryViewport v = graph_->viewport();
    const auto text = [](qint64 minute) {
        return QDateTime::fromSecsSinceEpoch(minute * 60, Qt::UTC).toString(QStringLiteral("dd/MM/yyyy hh:mm"));
    };
    span_->setText(text(v.from) + QStringLiteral("  -  ") + text(v.to));
}

} // namespace tvq52
