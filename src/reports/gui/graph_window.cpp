#include "reports/gui/graph_window.h"

#include "core/application_info.h"
#include "core/prompter.h"
#include "core/regular_file.h"
#include "i18n/catalogue_message.h"
#include "i18n/translator.h"
#include "reports/graph_store.h"

#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QGraphicsRectItem>
#include <QGraphicsTextItem>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QSlider>
#include <QStackedBarSeries>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QVBoxLayout>
#include <QValueAxis>

namespace tvq52 {

namespace {

struct CurveStyle {
    const char* name;
    QColor color;
    Qt::PenStyle pen;
    qreal width;
};

// Measured levels solid, their limits dashed in the same colour.
const CurveStyle kCurves[kLevelSeries] = {
    {"Leq emisión", QColor(0, 90, 200), Qt::SolidLine, 2},
    {"Leq recepción", QColor(0, 150, 60), Qt::SolidLine, 2},
    {"Máx. Fast", QColor(200, 110, 0), Qt::SolidLine, 1},
    {"Límite emisión", QColor(0, 90, 200), Qt::DashLine, 1.5},
    {"Límite recepción", QColor(0, 150, 60), Qt::DashLine, 1.5},
    {"Límite Fast", QColor(200, 110, 0), Qt::DashLine, 1.5},
    {"Máx. Leq 1 min", QColor(150, 40, 150), Qt::DotLine, 1},
    {"Mín. Leq 1 min", QColor(110, 110, 110), Qt::DotLine, 1},
    {"L1", QColor(220, 40, 40), Qt::SolidLine, 1},
    {"L5", QColor(230, 100, 100), Qt::SolidLine, 1},
    {"L10", QColor(200, 160, 60), Qt::SolidLine, 1},
    {"L50", QColor(60, 160, 200), Qt::SolidLine, 1},
    {"L90", QColor(120, 120, 200), Qt::SolidLine, 1},
    {"Cambio de día", QColor(60, 60, 60), Qt::SolidLine, 2},
};

const struct {
    const char* name;
    QColor color;
} kEvents[kEventSeries] = {
    {"Desconexiones", QColor(90, 90, 90)},      {"Pasadas emisión", QColor(0, 90, 200)},
    {"Pasadas recepción", QColor(0, 150, 60)},  {"Sensor inactivo", QColor(220, 40, 40)},
    {"Pasadas Máx. Fast", QColor(200, 110, 0)}, {"Línea insuficiente", QColor(150, 40, 150)},
    {"D.N.A.", QColor(40, 170, 170)},           {"E.N.A.", QColor(170, 170, 40)},
};

// A click reaches a point this close to it, in pixels.
constexpr qreal kPointReach = 20;
constexpr qreal kTopLevel = 140;

QString native(const char* text)
{
    return QString::fromUtf8(text);
}

QLineSeries* newStretch(QLineSeries* like, QChart* chart)
{
    auto* s = new QLineSeries;
    s->setPen(like->pen());
    chart->addSeries(s);
    for (QAbstractAxis* axis : like->attachedAxes())
        s->attachAxis(axis);
    for (QLegendMarker* m : chart->legend()->markers(s))
        m->setVisible(false);
    s->setVisible(like->isVisible());
    return s;
}

} // namespace

GraphWindow::GraphWindow(const Translator& translator, Prompter& prompter, Database* database, std::function<void()> openHelp,
                         QWidget* parent)
    : QDialog(parent), translator_(translator), prompter_(prompter), database_(database), openHelp_(std::move(openHelp))
{
    setObjectName(QStringLiteral("Form9"));
    setWindowTitleOf(this, translator_.translate(QStringLiteral("Gráfica")));
    buildUi();
    translator_.translateWindow(this);
    // Bar sets are not series: their names are translated here.
    for (QBarSet* set : eventSets_)
        set->setLabel(translator_.translate(set->label()));
    if (const QScreen* sc = screen())
        resize(QSize(1000, 720).boundedTo(sc->availableGeometry().size() - QSize(16, 48)));
}

void GraphWindow::buildUi()
{
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto field = [&](const char* caption, const char* name, int chars) {
        // Room between one field and the next caption, so neither runs into the other.
        if (top->count() > 0)
            top->addSpacing(top->spacing() > 0 ? 2 * top->spacing() : 12);
        top->addWidget(new QLabel(native(caption), this));
        auto* edit = new QLineEdit(this);
        edit->setObjectName(native(name));
        edit->setReadOnly(true);
        edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QString(chars, QLatin1Char('0'))) + 12);
        top->addWidget(edit);
        return edit;
    };
    serial_ = field("N. Serie:", "TextNumeroSerie", 10);
    date_ = field("Fecha:", "TextFecha", 9);
    venue_ = field("Local:", "TextLocal", 30);
    top->addStretch();
    layout->addLayout(top);

    layout->addWidget(buildLevelChart(), 5);
    layout->addWidget(buildEventChart(), 4);

    auto* sliderRow = new QHBoxLayout;
    auto* left = new QPushButton(QStringLiteral("<"), this);
    left->setObjectName(QStringLiteral("SSCommandSliderLeft"));
    auto* right = new QPushButton(QStringLiteral(">"), this);
    right->setObjectName(QStringLiteral("SSCommandSliderRight"));
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setObjectName(QStringLiteral("Slider1"));
    slider_->setRange(-1, 0);
    sliderRow->addWidget(left);
    sliderRow->addWidget(slider_, 1);
    sliderRow->addWidget(right);
    layout->addLayout(sliderRow);
    connect(left, &QPushButton::clicked, this, &GraphWindow::stepLeft);
    connect(right, &QPushButton::clicked, this, &GraphWindow::stepRight);
    connect(slider_, &QSlider::valueChanged, this, &GraphWindow::FillCharts);

    auto* buttons = new QHBoxLayout;
    auto button = [&](const char* caption, const char* name) {
        auto* b = new QPushButton(native(caption), this);
        b->setObjectName(native(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    QPushButton* history = button("Historial completo", "SSCommandHistorial");
    QPushButton* print = button("Imprimir", "SSCommandImprimir");
    buttons->addStretch();
    QPushButton* help = button("Ayuda", "SSCommandHelp");
    QPushButton* exit = button("Salir", "SSCommandExit");
    layout->addLayout(buttons);
    connect(history, &QPushButton::clicked, this, [this] {
        if (openHistory_)
            openHistory_(unit_);
    });
    connect(print, &QPushButton::clicked, this, [this] {
        if (print_)
            print_(*this, unit_);
    });
    connect(help, &QPushButton::clicked, this, [this] {
        if (openHelp_)
            openHelp_();
    });
    connect(exit, &QPushButton::clicked, this, &QDialog::close);
}

QChartView* GraphWindow::buildLevelChart()
{
    levelChart_ = new QChart;
    levelChart_->legend()->setAlignment(Qt::AlignRight);
    levelChart_->setMargins(QMargins(2, 2, 2, 2));
    levelX_ = new QValueAxis;
    levelX_->setRange(0.5, kGraphPoints + 0.5);
    levelX_->setLabelsVisible(false);
    levelX_->setTickCount(2);
    levelY_ = new QValueAxis;
    levelY_->setRange(0, kTopLevel);
    levelY_->setTickCount(8);
    levelY_->setMinorTickCount(1);
    levelY_->setTruncateLabels(false);
    levelY_->setLabelFormat(QStringLiteral("%d"));
    levelY_->setTitleText(QStringLiteral("dB"));
    levelChart_->addAxis(levelX_, Qt::AlignBottom);
    levelChart_->addAxis(levelY_, Qt::AlignLeft);
    for (int s = 0; s < kLevelSeries; ++s) {
        auto* series = new QLineSeries;
        series->setName(native(kCurves[s].name));
        QPen pen(kCurves[s].color, kCurves[s].width, kCurves[s].pen);
        series->setPen(pen);
        levelChart_->addSeries(series);
        series->attachAxis(levelX_);
        series->attachAxis(levelY_);
        curves_[std::size_t(s)] = series;

        auto* item = new QAction(native(kCurves[s].name), this);
        item->setObjectName(QStringLiteral("PopUpMnu2_%1").arg(s));
        item->setCheckable(true);
        item->setChecked(true);
        connect(item, &QAction::toggled, this, [this, s](bool on) { setCurveVisible(s, on); });
        curveActions_.push_back(item);
    }
    levelView_ = new QChartView(levelChart_, this);
    levelView_->setObjectName(QStringLiteral("Chart2D1"));
    levelView_->setRenderHint(QPainter::Antialiasing);
    levelView_->viewport()->installEventFilter(this);
    labelBox_ = new QGraphicsRectItem(levelChart_);
    labelBox_->setBrush(QColor(255, 255, 225));
    labelBox_->setPen(QPen(Qt::darkGray));
    labelBox_->setZValue(20);
    label_ = new QGraphicsTextItem(labelBox_);
    labelBox_->hide();
    connect(levelChart_, &QChart::plotAreaChanged, this, [this] { alignPlotAreas(); });
    return levelView_;
}

QChartView* GraphWindow::buildEventChart()
{
    eventChart_ = new QChart;
    eventChart_->legend()->setAlignment(Qt::AlignRight);
    eventChart_->setMargins(QMargins(2, 2, 2, 2));
    auto* bars = new QStackedBarSeries;
    bars->setBarWidth(0.8);
    for (int e = 0; e < kEventSeries; ++e) {
        auto* set = new QBarSet(native(kEvents[e].name));
        set->setColor(kEvents[e].color);
        set->setBorderColor(kEvents[e].color);
        bars->append(set);
        eventSets_[std::size_t(e)] = set;
    }
    eventChart_->addSeries(bars);
    eventX_ = new QBarCategoryAxis;
    QFont small = eventX_->labelsFont();
    small.setPointSizeF(std::max(5.5, small.pointSizeF() - 3));
    eventX_->setLabelsFont(small);
    eventX_->setLabelsAngle(-90);
    eventX_->setTruncateLabels(false);
    eventY_ = new QValueAxis;
    eventY_->setRange(0, kEventSeries);
    eventY_->setLabelsVisible(false);
    eventY_->setTickCount(2);
    eventChart_->addAxis(eventX_, Qt::AlignBottom);
    eventChart_->addAxis(eventY_, Qt::AlignLeft);
    bars->attachAxis(eventX_);
    bars->attachAxis(eventY_);
    eventView_ = new QChartView(eventChart_, this);
    eventView_->setObjectName(QStringLiteral("Chart2D2"));
    eventView_->viewport()->installEventFilter(this);
    connect(eventChart_, &QChart::plotAreaChanged, this, [this] { alignPlotAreas(); });
    return eventView_;
}

bool GraphWindow::load(const ShownUnit& unit)
{
    unit_ = unit;
    setWindowTitleOf(this, translator_.translate(QStringLiteral("Gráfica")), unitCaption(unit.serial, unit.venue));
    serial_->setText(QString::number(unit.serial));
    date_->setText(unit.recordDate);
    venue_->setText(unit.venue);
    venue_->setCursorPosition(0);
    records_.clear();
    recordsFrom_ = 0;
    total_ = 0;
    bool ok = database_ != nullptr;
    if (ok) {
        // Only the count now: each position of the slider reads its own records.
        const Result<qint64> count = countGraphRecords(*database_, unit.serial);
        ok = count.ok();
        if (ok)
            total_ = *count;
        else
            prompter_.show(count.error().detail, MessageStyle::Critical);
    }

    // Older firmware records none of the last three events.
    eventSeries_ = eventSeriesFor(unit.firmware);
    auto* bars = static_cast<QStackedBarSeries*>(eventChart_->series().constFirst());
    for (int e = 0; e < kEventSeries; ++e) {
        QBarSet* set = eventSets_[std::size_t(e)];
        const bool wanted = e < eventSeries_;
        if (wanted && !bars->barSets().contains(set))
            bars->insert(e, set);
        else if (!wanted && bars->barSets().contains(set))
            bars->take(set);
    }

    range_ = graphSlider(int(total_));
    const QSignalBlocker quiet(slider_);
    slider_->setRange(range_.minimum, range_.maximum);
    slider_->setValue(range_.maximum);
    FillCharts();
    return ok && shownRead_;
}

void GraphWindow::readShown()
{
    records_.clear();
    shownRead_ = true;
    // The shown records and the one before them, which tells whether the
    // first shown starts another day.
    recordsFrom_ = std::max(slider_->value() - 1, 0);
    const int count = std::max(slider_->value(), 0) - recordsFrom_ + kGraphPoints;
    if (!database_ || total_ <= 0)
        return;
    Result<QList<GraphRecord>> read = loadGraphRecords(*database_, unit_.serial, recordsFrom_, count, total_);
    shownRead_ = read.ok();
    if (shownRead_)
        records_ = std::move(*read);
    else
        prompter_.show(read.error().detail, MessageStyle::Critical);
}

void GraphWindow::stepLeft()
{
    slider_->setValue(tvq52::stepLeft(range_, slider_->value()));
}

void GraphWindow::stepRight()
{
    slider_->setValue(tvq52::stepRight(range_, slider_->value()));
}

void GraphWindow::FillCharts()
{
    readShown();
    page_ = fillGraphPage(records_, slider_->value(), recordsFrom_);
    labelBox_->hide();
    levelView_->setUpdatesEnabled(false);
    eventView_->setUpdatesEnabled(false);

    for (int s = 0; s < kLevelSeries; ++s) {
        for (QLineSeries* extra : stretches_[std::size_t(s)]) {
            levelChart_->removeSeries(extra);
            delete extra;
        }
        stretches_[std::size_t(s)].clear();
        QLineSeries* named = curves_[std::size_t(s)];
        std::vector<QList<QPointF>> runs;
        if (s == SeriesDayChange) {
            // A vertical bar between the last record of a day and the first of the next.
            for (int i = 0; i < kGraphPoints; ++i)
                if (page_[std::size_t(i)].newDay)
                    runs.push_back({QPointF(i + 0.5, 0), QPointF(i + 0.5, kDayChangeHeight)});
        } else {
            bool open = false;
            for (int i = 0; i < kGraphPoints; ++i) {
                const float v = page_[std::size_t(i)].levels[std::size_t(s)];
                if (v == kNoPoint) {
                    open = false;
                    continue;
                }
                if (!open)
                    runs.emplace_back();
                open = true;
                runs.back().append(QPointF(i + 1, double(v)));
            }
        }
        named->replace(runs.empty() ? QList<QPointF>() : runs.front());
        for (std::size_t r = 1; r < runs.size(); ++r) {
            QLineSeries* extra = newStretch(named, levelChart_);
            extra->replace(runs[r]);
            stretches_[std::size_t(s)].push_back(extra);
        }
    }

    QStringList labels;
    for (int i = 0; i < kGraphPoints; ++i) {
        const GraphPoint& p = page_[std::size_t(i)];
        // Categories must differ: empty points get blanks of their own length.
        labels << (p.used ? p.label : QString(i + 1, QLatin1Char(' ')));
    }
    eventX_->setCategories(labels);
    for (int e = 0; e < kEventSeries; ++e) {
        QList<qreal> values;
        for (const GraphPoint& p : page_)
            values << (p.events[std::size_t(e)] ? 1.0 : 0.0);
        QBarSet* set = eventSets_[std::size_t(e)];
        set->remove(0, set->count());
        set->append(values);
    }
    levelView_->setUpdatesEnabled(true);
    eventView_->setUpdatesEnabled(true);
}

void GraphWindow::alignPlotAreas()
{
    // The bar under a point stands right below it: both plot areas take the
    // narrower of the two widths.
    const QRectF a = levelChart_->plotArea();
    const QRectF b = eventChart_->plotArea();
    const qreal left = std::max(a.left(), b.left());
    const qreal right = std::min(a.right(), b.right());
    if (right <= left)
        return;
    const QSignalBlocker q1(levelChart_);
    const QSignalBlocker q2(eventChart_);
    if (a.left() != left || a.right() != right)
        levelChart_->setPlotArea(QRectF(left, a.top(), right - left, a.height()));
    if (b.left() != left || b.right() != right)
        eventChart_->setPlotArea(QRectF(left, b.top(), right - left, b.height()));
}

void GraphWindow::resizeEvent(QResizeEvent* event)
{
    // Let the charts lay themselves out afresh before they are aligned again.
    levelChart_->setPlotArea(QRectF());
    eventChart_->setPlotArea(QRectF());
    QDialog::resizeEvent(event);
}

bool GraphWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        for (QChartView* view : {levelView_, eventView_}) {
            if (watched == view->viewport()) {
                clicked(view, mouse->position().toPoint(), mouse->button());
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void GraphWindow::clicked(QChartView* view, const QPoint& at, Qt::MouseButton button)
{
    if (button == Qt::RightButton) {
        popUp(view, at);
        return;
    }
    if (button != Qt::LeftButton || view != levelView_)
        return;
    const QPointF scenePoint = view->mapToScene(at);
    int nearest = -1;
    qreal best = kPointReach;
    for (int i = 0; i < kGraphPoints; ++i) {
        const GraphPoint& p = page_[std::size_t(i)];
        if (!p.used)
            continue;
        for (int s = 0; s < SeriesDayChange; ++s) {
            if (p.levels[std::size_t(s)] == kNoPoint || !curveVisible(s))
                continue;
            const QPointF onChart =
                levelChart_->mapToScene(levelChart_->mapToPosition(QPointF(i + 1, double(p.levels[std::size_t(s)]))));
            const qreal d = QLineF(onChart, scenePoint).length();
            if (d <= best) {
                best = d;
                nearest = i;
            }
        }
    }
    if (nearest >= 0)
        showPoint(nearest);
    else
        labelBox_->hide();
}

void GraphWindow::showPoint(int index)
{
    if (index < 0 || index >= kGraphPoints || !page_[std::size_t(index)].used)
        return;
    // A curve's name and value never break across lines: only the spaces
    // between them do.
    std::array<QString, 8> names;
    for (int s = 0; s < 8; ++s)
        names[std::size_t(s)] = curves_[std::size_t(s)]->name().replace(QLatin1Char(' '), QChar(0x00A0));
    const GraphPoint& p = page_[std::size_t(index)];
    label_->setPlainText(p.label.trimmed() + QLatin1Char('\n') + pointDisplayText(p, names));
    // Wrapped to the plot area's width.
    const QRectF area = levelChart_->plotArea();
    label_->setTextWidth(std::max(area.width() - 16, 100.0));
    label_->setTextWidth(std::min(label_->textWidth(), label_->document()->idealWidth() + 2));
    label_->setPos(0, 0);
    const QRectF text = label_->boundingRect();
    labelBox_->setRect(QRectF(QPointF(0, 0), text.size()));
    // Beside the point, inside the plot area.
    float top = kNoPoint;
    for (int s = 0; s < SeriesDayChange; ++s)
        top = std::max(top, p.levels[std::size_t(s)]);
    QPointF at = levelChart_->mapToPosition(QPointF(index + 1, double(std::max(top, 0.0f))));
    at += QPointF(8, -text.height() - 8);
    at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - text.width())));
    at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - text.height())));
    labelBox_->setPos(at);
    labelBox_->show();
}

QString GraphWindow::pointLabel() const
{
    return labelBox_->isVisible() ? label_->toPlainText() : QString();
}

QStringList GraphWindow::pointLabelLines() const
{
    QStringList lines;
    if (!labelBox_->isVisible())
        return lines;
    for (QTextBlock block = label_->document()->begin(); block.isValid(); block = block.next()) {
        const QTextLayout* layout = block.layout();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            lines << block.text().mid(line.textStart(), line.textLength());
        }
    }
    return lines;
}

bool GraphWindow::curveVisible(int series) const
{
    return curveActions_[std::size_t(series)]->isChecked();
}

void GraphWindow::setCurveVisible(int series, bool visible)
{
    curves_[std::size_t(series)]->setVisible(visible);
    for (QLineSeries* extra : stretches_[std::size_t(series)])
        extra->setVisible(visible);
    // A hidden curve keeps its place in the legend.
    for (QLegendMarker* m : levelChart_->legend()->markers(curves_[std::size_t(series)]))
        m->setVisible(true);
}

void GraphWindow::popUp(QChartView* view, const QPoint& at)
{
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("PopUp"));
    QChart* chart = view->chart();
    const auto tr = [this](const char* text) { return translator_.translate(native(text)); };
    menu.addAction(tr("Acercar"), this, [chart] { chart->zoomIn(); });
    menu.addAction(tr("Alejar"), this, [chart] { chart->zoomOut(); });
    menu.addAction(tr("Restablecer"), this, [chart] { chart->zoomReset(); });
    menu.addAction(tr("Guardar imagen..."), this, [this, view] { savePicture(view); });
    if (view == levelView_) {
        menu.addSeparator();
        QMenu* curves = menu.addMenu(tr("Curvas"));
        for (int s = 0; s < kLevelSeries; ++s) {
            curveActions_[std::size_t(s)]->setText(curves_[std::size_t(s)]->name());
            curves->addAction(curveActions_[std::size_t(s)]);
        }
    }
    menu.exec(view->viewport()->mapToGlobal(at));
}

void GraphWindow::savePicture(QChartView* view)
{
    QString path = prompter_.saveFile(translator_.translate(QStringLiteral("Guardar imagen...")),
                                      {QStringLiteral("PNG (*.png)")}, QString());
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
        path += QLatin1String(".png");
    if (isNonRegularFile(path)) {
        showError(prompter_, translator_, nonRegularFileError(path, FileUse::Write));
        return;
    }
    // Beside the target until whole, so a failed save leaves an earlier picture.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !view->grab().save(&file, "PNG") || !file.flush() || !file.commit())
        prompter_.show(translator_.translate(QStringLiteral("No se pudo guardar la imagen:")) + QLatin1Char(' ') + path,
                       MessageStyle::Critical);
}

QImage GraphWindow::pictureOf(QChartView* view) const
{
    // Twice the screen's pixels, so that the charts stay sharp on paper.
    QImage image(view->size() * 2, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool shown = labelBox_->isVisible();
    labelBox_->hide();
    view->render(&painter, QRectF(image.rect()), view->rect());
    labelBox_->setVisible(shown);
    painter.end();
    return image;
}

QImage GraphWindow::levelPicture() const
{
    return pictureOf(levelView_);
}

QImage GraphWindow::eventPicture() const
{
    return pictureOf(eventView_);
}

std::optional<std::pair<QDateTime, QDateTime>> GraphWindow::shownRange() const
{
    std::optional<std::pair<QDateTime, QDateTime>> range;
    for (const GraphPoint& p : page_) {
        const int at = p.record - recordsFrom_;
        if (!p.used || at < 0 || at >= records_.size())
            continue;
        const QDateTime start = records_[at].start;
        if (!range)
            range.emplace(start, start);
        range->second = start;
    }
    return range;
}

} // namespace tvq52
