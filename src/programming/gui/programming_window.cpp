#include "programming/gui/programming_window.h"

#include "app/app_context.h"
#include "app/gui/help.h"
#include "app/prompter.h"
#include "db/store.h"
#include "link/clock.h"
#include "link/device_link.h"
#include "link/link_timer.h"
#include "monitor/gui/monitor_window.h"
#include "programming/program_line.h"
#include "programming/programming_transfer.h"
#include "programming/programming_workflow.h"
#include "programming/field_checks.h"
#include "programming/interval_grid_model.h"
#include "programming/programming_store.h"
#include "programming/gui/week_schedule_window.h"
#include "programming/time_text.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace tvq52 {

namespace {

const char* const kLanguageOptions[6] = {"OptionEspañol", "OptionCatalan", "OptionIngles",
                                         "OptionAleman",  "OptionFrances", "OptionItaliano"};
const char* const kLanguageCaptions[6] = {"Español", "Català", "English", "Deutsch", "Français", "Italiano"};
const char* const kDayStems[7] = {"Lunes", "Martes", "Miercoles", "Jueves", "Viernes", "Sabado", "Domingo"};
const char* const kDayCaptions[7] = {"Lunes", "Martes", "Miércoles", "Jueves", "Viernes", "Sábado", "Domingo"};
const char* const kOctaveCaptions[kOctaveCount] = {"31,5 Hz", "63 Hz", "125 Hz", "250 Hz", "500 Hz",
                                                   "1 kHz",   "2 kHz", "4 kHz",  "8 kHz"};

QValidator* digits(int count, QObject* parent)
{
    return new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,%1}").arg(count)), parent);
}

QString tr0(const char* native)
{
    return QString::fromUtf8(native);
}

int numberIn(const QLineEdit* field)
{
    return field->text().trimmed().toInt();
}

// Grid cells edit with the masks of their column.
class IntervalDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        auto* editor = new QLineEdit(parent);
        editor->setInputMask(index.column() % 2 == 1 ? QStringLiteral("99/99/99;_") : QStringLiteral("99:99;_"));
        return editor;
    }
};

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

ProgrammingWindow::ProgrammingWindow(AppContext& ctx, Prompter& prompter, QWidget* parent)
    : QWidget(parent, Qt::Window), ctx_(ctx), prompter_(prompter)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Programación"));
    if (ctx_.db)
        browser_.emplace(*ctx_.db);
    buildUi();
    ctx_.guru.TranslateForm(this);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { focusMoved(now); });
}

ProgrammingWindow::~ProgrammingWindow() = default;

QLineEdit* ProgrammingWindow::addLineEdit(const QString& name, KeyRule rule)
{
    auto* e = new QLineEdit(this);
    e->setObjectName(name);
    keyRules_.insert(e, rule);
    e->installEventFilter(this);
    connect(e, &QLineEdit::textChanged, this, &ProgrammingWindow::edited);
    return e;
}

void ProgrammingWindow::buildUi()
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildHeader());
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("SSTab2"));
    tabs_->addTab(buildVenuePage(), QStringLiteral("Datos del local"));
    tabs_->addTab(buildUnitPage(), QStringLiteral("Aparato"));
    tabs_->addTab(buildActionPage(), QStringLiteral("Actuación y sesiones"));
    tabs_->addTab(buildLimitsPage(), QStringLiteral("Límites y horario nocturno"));
    tabs_->addTab(buildInsulationPage(), QStringLiteral("Aislamiento acústico"));
    tabs_->addTab(buildIntervalsPage(), QStringLiteral("Intervalos inhábiles"));
    layout->addWidget(tabs_, 1);
    layout->addWidget(buildBusyPanel());
    layout->addWidget(buildButtons());

    checks_.insert(dayVenue_, [this] { return checkVenueLimit(dayVenue_->text()); });
    checks_.insert(nightVenue_, [this] { return checkVenueLimit(nightVenue_->text()); });
    checks_.insert(dayNeighbour_, [this] { return checkNeighbourLimit(dayNeighbour_->text()); });
    checks_.insert(nightNeighbour_, [this] { return checkNeighbourLimit(nightNeighbour_->text()); });
    checks_.insert(fastLimit_, [this] { return checkFastLimit(fastLimit_->text()); });
    checks_.insert(leqTime_, [this] { return checkLeqTime(leqTime_->text()); });
    checks_.insert(rings_, [this] { return checkRings(rings_->text()); });
    checks_.insert(attenuation_, [this] { return checkAttenuationTime(attenuation_->text()); });
    checks_.insert(venueSeconds_, [this] { return checkActionSeconds(venueSeconds_->text()); });
    checks_.insert(neighbourSeconds_, [this] { return checkActionSeconds(neighbourSeconds_->text()); });
    checks_.insert(nightStart_, [this] { return checkNightStart(nightStart_->text(), nightEnd_->text()); });
    checks_.insert(nightEnd_, [this] { return checkNightEnd(nightStart_->text(), nightEnd_->text()); });
    checks_.insert(date_, [this] { return checkProgrammingDate(date_->text()); });
}

QWidget* ProgrammingWindow::buildHeader()
{
    auto* box = new QGroupBox(this);
    auto* grid = new QGridLayout(box);
    serial_ = addLineEdit(QStringLiteral("MaskNumeroSerie"), KeyRule::Serial);
    serial_->setReadOnly(true);
    version_ = addLineEdit(QStringLiteral("MaskVersion"), KeyRule::Version);
    version_->setReadOnly(true);
    date_ = addLineEdit(QStringLiteral("MaskFecha"), KeyRule::NoBlanks);
    date_->setInputMask(QStringLiteral("99/99/99;_"));
    pcDate_ = new QLineEdit(this);
    pcDate_->setObjectName(QStringLiteral("TextFecha"));
    pcDate_->setReadOnly(true);
    pcDate_->setFocusPolicy(Qt::NoFocus);
    pcTime_ = new QLineEdit(this);
    pcTime_->setObjectName(QStringLiteral("TextHora"));
    pcTime_->setReadOnly(true);
    pcTime_->setFocusPolicy(Qt::NoFocus);
    for (QLineEdit* e : {serial_, version_, date_, pcDate_, pcTime_})
        e->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 16);
    grid->addWidget(new QLabel(QStringLiteral("N. Serie:"), box), 0, 0);
    grid->addWidget(serial_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Versión:"), box), 0, 2);
    grid->addWidget(version_, 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("Fecha:"), box), 0, 4);
    grid->addWidget(date_, 0, 5);
    grid->setColumnStretch(6, 1);
    grid->addWidget(new QLabel(QStringLiteral("Fecha PC:"), box), 0, 7);
    grid->addWidget(pcDate_, 0, 8);
    grid->addWidget(new QLabel(QStringLiteral("Hora PC:"), box), 0, 9);
    grid->addWidget(pcTime_, 0, 10);
    return box;
}

QWidget* ProgrammingWindow::buildVenuePage()
{
    auto* page = new QWidget(this);
    auto* form = new QFormLayout(page);
    contact_ = addLineEdit(QStringLiteral("MaskContacto"), KeyRule::Text);
    venue_ = addLineEdit(QStringLiteral("MaskLocal"), KeyRule::Text);
    address_ = addLineEdit(QStringLiteral("MaskDireccion"), KeyRule::Text);
    town_ = addLineEdit(QStringLiteral("MaskPoblacion"), KeyRule::Text);
    for (QLineEdit* e : {contact_, venue_, address_, town_})
        e->setMaxLength(30);
    phone_ = addLineEdit(QStringLiteral("MaskTelefono"), KeyRule::Text);
    phone_->setMaxLength(15);
    phone_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9 ]{0,15}")), phone_));
    note_ = new QPlainTextEdit(page);
    note_->setObjectName(QStringLiteral("TextNota"));
    note_->installEventFilter(this);
    connect(note_, &QPlainTextEdit::textChanged, this, &ProgrammingWindow::edited);
    form->addRow(QStringLiteral("Contacto:"), contact_);
    form->addRow(QStringLiteral("Local:"), venue_);
    form->addRow(QStringLiteral("Dirección:"), address_);
    form->addRow(QStringLiteral("Población:"), town_);
    form->addRow(QStringLiteral("Teléfono:"), phone_);
    form->addRow(QStringLiteral("Nota:"), note_);
    return page;
}

QWidget* ProgrammingWindow::buildUnitPage()
{
    auto* page = new QWidget(this);
    auto* outer = new QVBoxLayout(page);
    auto* layout = new QHBoxLayout;
    outer->addLayout(layout);
    outer->addStretch();

    auto* language = new QGroupBox(QStringLiteral("Idioma"), page);
    auto* languageLayout = new QVBoxLayout(language);
    for (int i = 0; i < 6; ++i) {
        languages_[i] = new QRadioButton(tr0(kLanguageCaptions[i]), language);
        languages_[i]->setObjectName(tr0(kLanguageOptions[i]));
        connect(languages_[i], &QRadioButton::clicked, this, &ProgrammingWindow::edited);
        languageLayout->addWidget(languages_[i]);
    }
    languageLayout->addStretch();
    layout->addWidget(language);

    auto* options = new QGroupBox(QStringLiteral("Opciones"), page);
    auto* form = new QFormLayout(options);
    leqTime_ = addLineEdit(QStringLiteral("MaskTLeq"), KeyRule::Text);
    leqTime_->setValidator(digits(2, leqTime_));
    fastLimit_ = addLineEdit(QStringLiteral("MaskMFast"), KeyRule::Text);
    fastLimit_->setValidator(digits(3, fastLimit_));
    rings_ = addLineEdit(QStringLiteral("MaskRings"), KeyRule::NoBlanks);
    rings_->setValidator(digits(1, rings_));
    clockChange_ = new QCheckBox(QStringLiteral("Cambio de hora"), options);
    clockChange_->setObjectName(QStringLiteral("CheckCambioHora"));
    printing_ = new QCheckBox(QStringLiteral("Impresión continua"), options);
    printing_->setObjectName(QStringLiteral("CheckImpresion"));
    for (QCheckBox* c : {clockChange_, printing_})
        connect(c, &QCheckBox::clicked, this, &ProgrammingWindow::edited);
    for (QLineEdit* e : {leqTime_, fastLimit_, rings_})
        e->setMaximumWidth(80);
    form->addRow(QStringLiteral("Tiempo de Leq (min):"), leqTime_);
    form->addRow(QStringLiteral("Límite LFmax (dBA):"), fastLimit_);
    form->addRow(QStringLiteral("Rings antes de que el modem decuelgue:"), rings_);
    form->addRow(clockChange_);
    form->addRow(printing_);
    layout->addWidget(options, 1);

    globalCorrectionFrame_ = new QGroupBox(QStringLiteral("Corrección global"), page);
    globalCorrectionFrame_->setObjectName(QStringLiteral("FrameApliCorrecioGlobal"));
    auto* frameLayout = new QVBoxLayout(globalCorrectionFrame_);
    globalCorrection_ = new QCheckBox(QStringLiteral("Aplicar corrección global"), globalCorrectionFrame_);
    globalCorrection_->setObjectName(QStringLiteral("CheckApliCorrecioGlobal"));
    frameLayout->addWidget(globalCorrection_);
    frameLayout->addStretch();
    layout->addWidget(globalCorrectionFrame_);
    return page;
}

QWidget* ProgrammingWindow::buildActionPage()
{
    auto* page = new QWidget(this);
    auto* layout = new QGridLayout(page);

    auto* venue = new QGroupBox(QStringLiteral("Tipo de actuación (emisión)"), page);
    auto* venueLayout = new QGridLayout(venue);
    venueLeq1s_ = new QRadioButton(QStringLiteral("Leq (s):"), venue);
    venueLeq1s_->setObjectName(QStringLiteral("OptionLocalLeq1s"));
    venueLeq125_ = new QRadioButton(QStringLiteral("Leq 125 ms"), venue);
    venueLeq125_->setObjectName(QStringLiteral("OptionLocalLeq125"));
    venueSeconds_ = addLineEdit(QStringLiteral("MaskTempsActLoc"), KeyRule::NoBlanks);
    venueLayout->addWidget(venueLeq1s_, 0, 0);
    venueLayout->addWidget(venueSeconds_, 0, 1);
    venueLayout->addWidget(venueLeq125_, 1, 0);
    venueLayout->setColumnStretch(2, 1);
    venueLayout->setRowStretch(3, 1);

    auto* neighbour = new QGroupBox(QStringLiteral("Tipo de actuación (recepción)"), page);
    auto* neighbourLayout = new QGridLayout(neighbour);
    neighbourLeq1s_ = new QRadioButton(QStringLiteral("Leq (s):"), neighbour);
    neighbourLeq1s_->setObjectName(QStringLiteral("OptionVeiLeq1s"));
    neighbourLeq125_ = new QRadioButton(QStringLiteral("Leq 125 ms"), neighbour);
    neighbourLeq125_->setObjectName(QStringLiteral("OptionVeiLeq125"));
    neighbourNone_ = new QRadioButton(QStringLiteral("No actúa"), neighbour);
    neighbourNone_->setObjectName(QStringLiteral("OptionVeiNo"));
    neighbourSeconds_ = addLineEdit(QStringLiteral("MaskTempsActVei"), KeyRule::NoBlanks);
    neighbourLayout->addWidget(neighbourLeq1s_, 0, 0);
    neighbourLayout->addWidget(neighbourSeconds_, 0, 1);
    neighbourLayout->addWidget(neighbourLeq125_, 1, 0);
    neighbourLayout->addWidget(neighbourNone_, 2, 0);
    neighbourLayout->setColumnStretch(2, 1);
    neighbourLayout->setRowStretch(3, 1);

    for (QLineEdit* e : {venueSeconds_, neighbourSeconds_}) {
        // New records leave these boxes alone, so they start with a valid value.
        e->setText(QStringLiteral("01"));
        e->setValidator(digits(2, e));
        e->setMaximumWidth(60);
    }
    for (QRadioButton* b : {venueLeq1s_, venueLeq125_, neighbourLeq1s_, neighbourLeq125_, neighbourNone_})
        connect(b, &QRadioButton::clicked, this, &ProgrammingWindow::edited);
    connect(venueLeq1s_, &QRadioButton::clicked, this,
            [this] { venueSeconds_->setText(secondsForChosenOption(venueSeconds_->text())); });
    connect(neighbourLeq1s_, &QRadioButton::clicked, this,
            [this] { neighbourSeconds_->setText(secondsForChosenOption(neighbourSeconds_->text())); });

    auto* attenuationBox = new QGroupBox(QStringLiteral("Atenuación"), page);
    auto* attenuationForm = new QFormLayout(attenuationBox);
    attenuation_ = addLineEdit(QStringLiteral("MaskTiempoAtenuacion"), KeyRule::NoBlanks);
    attenuation_->setValidator(digits(4, attenuation_));
    attenuation_->setMaximumWidth(80);
    attenuationForm->addRow(QStringLiteral("Tiempo atenuación (s):"), attenuation_);

    auto* sessionBox = new QGroupBox(QStringLiteral("Horarios sesion"), page);
    auto* sessionGrid = new QGridLayout(sessionBox);
    sessionGrid->addWidget(new QLabel(QStringLiteral("Inicio"), sessionBox), 0, 1);
    sessionGrid->addWidget(new QLabel(QStringLiteral("Final"), sessionBox), 0, 2);
    for (int d = 0; d < 7; ++d) {
        sessionGrid->addWidget(new QLabel(tr0(kDayCaptions[d]), sessionBox), d + 1, 0);
        for (int k = 0; k < 2; ++k) {
            QLineEdit* e = addLineEdit(QStringLiteral("Mask%1%2").arg(tr0(kDayStems[d]), k ? QStringLiteral("Fi")
                                                                                          : QStringLiteral("Ini")),
                                       KeyRule::Text);
            e->setReadOnly(true);
            e->setCursor(Qt::PointingHandCursor);
            e->setToolTip(QStringLiteral("Pulse para editar el horario semanal"));
            e->setMaximumWidth(90);
            sessions_[d][k] = e;
            sessionGrid->addWidget(e, d + 1, k + 1);
        }
    }
    sessionGrid->setColumnStretch(3, 1);
    sessionGrid->setRowStretch(8, 1);

    layout->addWidget(venue, 0, 0);
    layout->addWidget(neighbour, 0, 1);
    layout->addWidget(attenuationBox, 1, 0);
    layout->addWidget(sessionBox, 1, 1);
    layout->setRowStretch(2, 1);
    return page;
}

QWidget* ProgrammingWindow::buildLimitsPage()
{
    auto* page = new QWidget(this);
    auto* layout = new QGridLayout(page);
    auto* limits = new QGroupBox(QStringLiteral("Límites LeqT (dBA)"), page);
    auto* grid = new QGridLayout(limits);
    dayVenue_ = addLineEdit(QStringLiteral("MaskDiaLocal"), KeyRule::NoBlanks);
    dayNeighbour_ = addLineEdit(QStringLiteral("MaskDiaVei"), KeyRule::NoBlanks);
    nightVenue_ = addLineEdit(QStringLiteral("MaskNitLocal"), KeyRule::NoBlanks);
    nightNeighbour_ = addLineEdit(QStringLiteral("MaskNitVei"), KeyRule::NoBlanks);
    for (QLineEdit* e : {dayVenue_, dayNeighbour_, nightVenue_, nightNeighbour_}) {
        e->setValidator(digits(3, e));
        e->setMaxLength(3);
        e->setMaximumWidth(80);
    }
    grid->addWidget(new QLabel(QStringLiteral("Emisión"), limits), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Recepción"), limits), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Día"), limits), 1, 0);
    grid->addWidget(dayVenue_, 1, 1);
    grid->addWidget(dayNeighbour_, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Noche"), limits), 2, 0);
    grid->addWidget(nightVenue_, 2, 1);
    grid->addWidget(nightNeighbour_, 2, 2);
    grid->setColumnStretch(3, 1);

    auto* hours = new QGroupBox(QStringLiteral("Horario día y noche"), page);
    auto* hoursGrid = new QGridLayout(hours);
    nightStart_ = addLineEdit(QStringLiteral("MaskEmpiezaNoche"), KeyRule::NoBlanks);
    nightEnd_ = addLineEdit(QStringLiteral("MaskTerminaNoche"), KeyRule::NoBlanks);
    dayStart_ = new QLineEdit(hours);
    dayStart_->setObjectName(QStringLiteral("MaskEmpiezaDia"));
    dayEnd_ = new QLineEdit(hours);
    dayEnd_->setObjectName(QStringLiteral("MaskTerminaDia"));
    for (QLineEdit* e : {nightStart_, nightEnd_, dayStart_, dayEnd_}) {
        e->setInputMask(QStringLiteral("99:99;_"));
        e->setMaximumWidth(80);
    }
    for (QLineEdit* e : {dayStart_, dayEnd_}) {
        e->setReadOnly(true);
        e->setFocusPolicy(Qt::NoFocus);
    }
    hoursGrid->addWidget(new QLabel(QStringLiteral("Empieza"), hours), 0, 1);
    hoursGrid->addWidget(new QLabel(QStringLiteral("Termina"), hours), 0, 2);
    hoursGrid->addWidget(new QLabel(QStringLiteral("Noche"), hours), 1, 0);
    hoursGrid->addWidget(nightStart_, 1, 1);
    hoursGrid->addWidget(nightEnd_, 1, 2);
    hoursGrid->addWidget(new QLabel(QStringLiteral("Día"), hours), 2, 0);
    hoursGrid->addWidget(dayStart_, 2, 1);
    hoursGrid->addWidget(dayEnd_, 2, 2);
    hoursGrid->setColumnStretch(3, 1);

    layout->addWidget(limits, 0, 0);
    layout->addWidget(hours, 0, 1);
    layout->setRowStretch(1, 1);
    return page;
}

QWidget* ProgrammingWindow::buildInsulationPage()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* box = new QGroupBox(QStringLiteral("Aislamiento acústico (dB)"), page);
    auto* grid = new QGridLayout(box);
    for (int i = 0; i < kOctaveCount; ++i) {
        auto* spin = new QDoubleSpinBox(box);
        spin->setObjectName(QStringLiteral("MaskOctava%1").arg(i + 1));
        spin->setRange(0.0, 999.9);
        spin->setDecimals(1);
        spin->setButtonSymbols(QAbstractSpinBox::NoButtons);
        spin->setAlignment(Qt::AlignRight);
        spin->setMinimumWidth(90);
        spin->installEventFilter(this);
        keyRules_.insert(spin, KeyRule::Text);
        connect(spin, &QDoubleSpinBox::valueChanged, this, &ProgrammingWindow::edited);
        octaves_[i] = spin;
        auto* label = new QLabel(tr0(kOctaveCaptions[i]), box);
        label->setAlignment(Qt::AlignCenter);
        grid->addWidget(label, 0, i);
        grid->addWidget(spin, 1, i);
    }
    layout->addWidget(box);
    layout->addStretch();
    return page;
}

QWidget* ProgrammingWindow::buildIntervalsPage()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    gridModel_ = new IntervalGridModel(intervals_, this);
    gridModel_->setHeaders({QStringLiteral("Nº"), QStringLiteral("Día inicio"), QStringLiteral("Hora inicio"),
                            QStringLiteral("Día final"), QStringLiteral("Hora final")});
    grid_ = new QTableView(page);
    grid_->setObjectName(QStringLiteral("TDBGrid1"));
    grid_->setModel(gridModel_);
    grid_->setItemDelegate(new IntervalDelegate(grid_));
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    grid_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    grid_->setEditTriggers(QAbstractItemView::AllEditTriggers);
    layout->addWidget(grid_);
    connect(gridModel_, &IntervalGridModel::edited, this, &ProgrammingWindow::edited);
    // The message comes once the refused edit has been undone.
    connect(gridModel_, &IntervalGridModel::messageRaised, this, &ProgrammingWindow::showMessage,
            Qt::QueuedConnection);
    return page;
}

QWidget* ProgrammingWindow::buildButtons()
{
    auto* bar = new QWidget(this);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    auto add = [&](const char* name, const char* caption, void (ProgrammingWindow::*slot)()) {
        auto* b = new QPushButton(tr0(caption), bar);
        b->setObjectName(tr0(name));
        if (slot)
            connect(b, &QPushButton::clicked, this, slot);
        else
            b->setEnabled(false);   // its window or link is not part of the program yet
        layout->addWidget(b);
        return b;
    };
    add("SSCommandAnterior", "<< Anterior", &ProgrammingWindow::previousRecord);
    add("SSCommandSiguiente", "Siguiente >>", &ProgrammingWindow::nextRecord);
    add("SSCommandBuscar", "Buscar", &ProgrammingWindow::searchRecord);
    add("SSCommandGrabar", "Guardar", &ProgrammingWindow::saveRecord);
    add("SSCommandBorrar", "Borrar", &ProgrammingWindow::deleteRecord);
    layout->addStretch();
    add("SSCommandRecibir", "Recibir", &ProgrammingWindow::receiveProgramming);
    add("SSCommandTransmitir", "Transmitir", &ProgrammingWindow::transmitProgramming);
    add("SSCommandRealTime", "Tiempo real", &ProgrammingWindow::openMonitor);
    add("SSCommandImprimir", "Imprimir", nullptr);
    add("SSCommandIncidencias", "Datos registrados", nullptr);
    layout->addStretch();
    QPushButton* help = add("SSCommandHelp", "Ayuda", nullptr);
    help->setEnabled(true);
    connect(help, &QPushButton::clicked, this, [this] { openHelp(ctx_, prompter_); });
    QPushButton* exit = add("SSCommandExit", "Salir", nullptr);
    exit->setEnabled(true);
    connect(exit, &QPushButton::clicked, this, &QWidget::close);
    // The receive and transmit buttons clear the search field on focus.
    for (const char* name : {"SSCommandRecibir", "SSCommandTransmitir"})
        bar->findChild<QPushButton*>(tr0(name))->installEventFilter(this);
    return bar;
}

// In place of the animation, the transmission shows how far it has got.
QWidget* ProgrammingWindow::buildBusyPanel()
{
    busyPanel_ = new QFrame(this);
    busyPanel_->setObjectName(QStringLiteral("SSPanel2"));
    static_cast<QFrame*>(busyPanel_)->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QHBoxLayout(busyPanel_);
    busyText_ = new QLabel(busyPanel_);
    busyText_->setObjectName(QStringLiteral("LbProgreso"));
    busyBar_ = new QProgressBar(busyPanel_);
    busyBar_->setObjectName(QStringLiteral("ProgressBarEnvio"));
    busyBar_->setTextVisible(false);
    layout->addWidget(busyText_, 1);
    layout->addWidget(busyBar_, 2);
    busyPanel_->hide();
    return busyPanel_;
}

Line& ProgrammingWindow::line()
{
    return line_ ? *line_ : programLine(ctx_);
}

Clock& ProgrammingWindow::clock()
{
    return clock_ ? *clock_ : systemClock();
}

void ProgrammingWindow::receiveProgramming()
{
    DeviceLink link(ctx_.link, line(), clock(), prompter_, ctx_.guru);
    LinkTimer timer(clock(), kSilenceLimitMs);
    ProgrammingWorkflow(link, timer, *this).receive();
}

void ProgrammingWindow::transmitProgramming()
{
    DeviceLink link(ctx_.link, line(), clock(), prompter_, ctx_.guru);
    LinkTimer timer(clock(), kSilenceLimitMs);
    ProgrammingWorkflow(link, timer, *this).transmit();
}

void ProgrammingWindow::openMonitor()
{
    if (!monitor_) {
        monitor_ = std::make_unique<MonitorWindow>(ctx_, prompter_);
        monitor_->setLink(line_, clock_);
    }
    // The programming window is out of use while the monitor is open.
    setEnabled(false);
    monitor_->runFor(this, phone_->text(), serial_->text().trimmed().toInt());
    setEnabled(true);
}

void ProgrammingWindow::showReceived(const ProgrammingRecord& record, const ProgIntervals& intervals,
                                     const QString& unitFirmware)
{
    showRecord(record, false);
    applyFirmware(unitFirmware, record.globalCorrection);
    intervals_ = intervals;
    gridModel_->reload();
    modified_ = true;
}

void ProgrammingWindow::setVersion(const QString& version)
{
    loading_ = true;
    version_->setText(version);
    loading_ = false;
}

void ProgrammingWindow::ToggleCommandButtons()
{
    // Every command waits for the exchange, the exchange buttons included, so
    // that no second exchange starts inside the waits of the first.
    const QList<QPushButton*> buttons = findChildren<QPushButton*>(QRegularExpression(QStringLiteral("^SSCommand")));
    if (!commandsOff_) {
        commandsBeforeExchange_.clear();
        for (QPushButton* b : buttons) {
            commandsBeforeExchange_.insert(b, b->isEnabled());
            b->setEnabled(false);
        }
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        for (auto it = commandsBeforeExchange_.cbegin(); it != commandsBeforeExchange_.cend(); ++it)
            it.key()->setEnabled(it.value());
        QApplication::restoreOverrideCursor();
    }
    commandsOff_ = !commandsOff_;
}

void ProgrammingWindow::transmissionStarted()
{
    busyBar_->setRange(0, 1);
    busyBar_->setValue(0);
    busyText_->setText(ctx_.guru.GetTranslation(QStringLiteral("Conectando con el TVQ-52...")));
    busyPanel_->show();
}

void ProgrammingWindow::transmissionProgress(int sent, int total, qint64 msLeft)
{
    busyBar_->setRange(0, total);
    busyBar_->setValue(sent);
    // Looked up before the numbers go in, so the translation keeps its places.
    busyText_->setText(ctx_.guru.GetTranslation(QStringLiteral("Enviando programación: %1 de %2 bytes, quedan %3 s"))
                           .arg(sent)
                           .arg(total)
                           .arg((msLeft + 999) / 1000));
}

void ProgrammingWindow::transmissionFinished()
{
    busyPanel_->hide();
}

bool ProgrammingWindow::hasStore() const
{
    return browser_.has_value();
}

void ProgrammingWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (needsOpening_) {
        needsOpening_ = false;
        openRecordSet();
    }
}

void ProgrammingWindow::closeEvent(QCloseEvent* event)
{
    Modificat();
    needsOpening_ = true;
    event->accept();
}

void ProgrammingWindow::openRecordSet()
{
    modified_ = false;
    if (!hasStore()) {
        CreaProgramacio();
        return;
    }
    if (!commandLineHonoured_) {
        commandLineHonoured_ = true;
        const QString arg = ctx_.CommandLineFile;
        if (!arg.isEmpty() && !arg.toUpper().endsWith(QLatin1String(".TQ52"))) {
            if (const auto serial = browser_->findCommandLineSerial(arg); serial && CarregaProgramacio(*serial))
                return;
        }
    }
    std::optional<qint32> serial;
    if (shownSerial_ >= 1 && browser_->contains(shownSerial_))
        serial = shownSerial_;
    else if (shownSerial_ < 1)
        serial = browser_->first();
    if (!serial || !CarregaProgramacio(*serial))
        CreaProgramacio();
}

void ProgrammingWindow::showClock()
{
    const QDateTime now = QDateTime::currentDateTime();
    pcDate_->setText(shortDateText(now.date()));
    pcTime_->setText(QLocale().toString(now.time(), QLocale::LongFormat));
}

void ProgrammingWindow::showRecord(const ProgrammingRecord& r, bool keepSeconds)
{
    loading_ = true;
    serial_->setText(QString::number(r.serial));
    date_->setText(shortDateText(r.date));
    contact_->setText(r.contact);
    venue_->setText(r.venue);
    address_->setText(r.address);
    town_->setText(r.town);
    phone_->setText(r.phone);
    note_->setPlainText(r.note);
    version_->setText(r.version);
    clockChange_->setChecked(r.clockChange);
    printing_->setChecked(r.continuousPrinting);
    const int language = unitLanguages().indexOf(r.language);
    languages_[language >= 0 ? language : 0]->setChecked(true);
    leqTime_->setText(QString::number(r.leqMinutes));
    fastLimit_->setText(QString::number(r.fastLimit));

    (r.venueAction.kind == ActionType::Leq125ms ? venueLeq125_ : venueLeq1s_)->setChecked(true);
    if (!keepSeconds && r.venueAction.kind == ActionType::LeqSeconds)
        venueSeconds_->setText(r.venueAction.seconds);
    switch (r.neighbourAction.kind) {
    case ActionType::None:
        neighbourNone_->setChecked(true);
        break;
    case ActionType::Leq125ms:
        neighbourLeq125_->setChecked(true);
        break;
    case ActionType::LeqSeconds:
        neighbourLeq1s_->setChecked(true);
        if (!keepSeconds)
            neighbourSeconds_->setText(r.neighbourAction.seconds);
        break;
    }
    for (int d = 0; d < 7; ++d) {
        sessions_[d][0]->setText(r.sessions[d].start);
        sessions_[d][1]->setText(r.sessions[d].end);
    }
    dayVenue_->setText(QString::number(r.dayLimitVenue));
    dayNeighbour_->setText(QString::number(r.dayLimitNeighbour));
    nightStart_->setText(r.nightStart);
    nightEnd_->setText(r.nightEnd);
    dayStart_->setText(r.nightEnd);
    dayEnd_->setText(r.nightStart);
    nightVenue_->setText(QString::number(r.nightLimitVenue));
    nightNeighbour_->setText(QString::number(r.nightLimitNeighbour));
    attenuation_->setText(QString::number(r.attenuationSeconds));
    rings_->setText(QString::number(r.rings));
    for (int i = 0; i < kOctaveCount; ++i)
        octaves_[i]->setValue(r.octaves[i]);
    showClock();
    loading_ = false;
}

void ProgrammingWindow::applyFirmware(const QString& version, bool globalCorrection)
{
    const bool seconds = hasActionSeconds(version);
    venueSeconds_->setEnabled(seconds);
    neighbourSeconds_->setEnabled(seconds);
    const bool correction = hasGlobalCorrection(version);
    globalCorrectionFrame_->setVisible(correction);
    if (correction)
        globalCorrection_->setChecked(globalCorrection);
}

ProgrammingRecord ProgrammingWindow::recordFromFields() const
{
    ProgrammingRecord r;
    r.serial = serial_->text().trimmed().toInt();
    r.date = parseShortDate(date_->text()).value_or(QDate());
    r.contact = contact_->text();
    r.venue = venue_->text();
    r.address = address_->text();
    r.town = town_->text();
    r.phone = phone_->text();
    r.note = note_->toPlainText();
    r.version = version_->text();
    r.clockChange = clockChange_->isChecked();
    r.continuousPrinting = printing_->isChecked();
    for (int i = 0; i < 6; ++i)
        if (languages_[i]->isChecked())
            r.language = unitLanguages()[i];
    r.leqMinutes = numberIn(leqTime_);
    r.fastLimit = numberIn(fastLimit_);
    r.venueAction = {venueLeq125_->isChecked() ? ActionType::Leq125ms : ActionType::LeqSeconds, venueSeconds_->text()};
    r.neighbourAction = {neighbourNone_->isChecked()     ? ActionType::None
                         : neighbourLeq125_->isChecked() ? ActionType::Leq125ms
                                                         : ActionType::LeqSeconds,
                         neighbourSeconds_->text()};
    for (int d = 0; d < 7; ++d)
        r.sessions[d] = {sessions_[d][0]->text(), sessions_[d][1]->text()};
    r.dayLimitVenue = numberIn(dayVenue_);
    r.dayLimitNeighbour = numberIn(dayNeighbour_);
    r.nightStart = nightStart_->text();
    r.nightEnd = nightEnd_->text();
    r.nightLimitVenue = numberIn(nightVenue_);
    r.nightLimitNeighbour = numberIn(nightNeighbour_);
    r.attenuationSeconds = numberIn(attenuation_);
    r.rings = numberIn(rings_);
    for (int i = 0; i < kOctaveCount; ++i)
        r.octaves[i] = float(octaves_[i]->value());
    r.globalCorrection = globalCorrection_->isChecked();
    return r;
}

void ProgrammingWindow::CreaProgramacio()
{
    showRecord(tvq52::CreaProgramacio(), true);
    intervals_ = unusedIntervals();
    gridModel_->reload();
    shownSerial_ = 0;
    modified_ = true;
}

bool ProgrammingWindow::CarregaProgramacio(qint32 serial)
{
    if (!hasStore())
        return false;
    const Store store(*ctx_.db);
    const auto stored = tvq52::CarregaProgramacio(store, serial);
    if (!stored)
        return false;
    showRecord(stored->record, false);
    firmwareVersion_ = stored->record.version;
    applyFirmware(firmwareVersion_, stored->record.globalCorrection);
    intervals_ = stored->intervals;
    gridModel_->reload();
    shownSerial_ = serial;
    modified_ = false;
    return true;
}

bool ProgrammingWindow::GrabaProgramacio()
{
    if (!hasStore())
        return false;
    Store store(*ctx_.db);
    QString error;
    const ProgrammingRecord record = recordFromFields();
    if (!tvq52::GrabaProgramacio(store, record, intervals_, &error)) {
        prompter_.show(error, MessageStyle::Critical);
        return false;
    }
    shownSerial_ = record.serial;
    modified_ = false;
    return true;
}

void ProgrammingWindow::Modificat()
{
    if (serial_->text().trimmed().toInt() == 0 || !modified_)
        return;
    if (showCatalogue(prompter_, ctx_.guru, 23, MessageStyle::OkCancelQuestion) == Answer::Ok)
        GrabaProgramacio();
}

void ProgrammingWindow::previousRecord()
{
    if (!hasStore())
        return;
    WaitCursor wait;
    Modificat();
    const auto serial = browser_->previous(shownSerial_);
    if (!serial || !CarregaProgramacio(*serial))
        QApplication::beep();
}

void ProgrammingWindow::nextRecord()
{
    if (!hasStore())
        return;
    WaitCursor wait;
    Modificat();
    const auto serial = browser_->next(shownSerial_);
    if (!serial || !CarregaProgramacio(*serial))
        QApplication::beep();
}

void ProgrammingWindow::searchRecord()
{
    const auto field = searchFieldOf(searchField_);
    if (!field || !hasStore())
        return;
    const auto answer = prompter_.input(ctx_.guru.GetS(20) + QLatin1Char(' ') + ctx_.guru.GetS(field->labelId),
                                        ctx_.guru.GetS(32), searchText_);
    if (!answer || answer->isEmpty())
        return;
    searchText_ = *answer;
    Modificat();
    if (const auto serial = browser_->findContaining(*field, searchText_))
        CarregaProgramacio(*serial);
}

void ProgrammingWindow::saveRecord()
{
    if (serial_->text().trimmed().toInt() == 0)
        return;
    if (showCatalogue(prompter_, ctx_.guru, 23, MessageStyle::OkCancelQuestion) == Answer::Ok)
        GrabaProgramacio();
}

void ProgrammingWindow::deleteRecord()
{
    const qint32 serial = serial_->text().trimmed().toInt();
    if (serial == 0 || !hasStore())
        return;
    Modificat();
    // Deleting every record of a unit cannot be undone: Enter keeps them.
    if (prompter_.message(Message{ctx_.guru.GetS(27), {}, MessageStyle::OkCancelQuestion, 27, Answer::Cancel}) != Answer::Ok)
        return;
    WaitCursor wait;
    Store store(*ctx_.db);
    if (!store.deleteUnit(serial)) {
        prompter_.show(store.lastError(), MessageStyle::Critical);
        return;
    }
    const auto first = browser_->first();
    if (!first || !CarregaProgramacio(*first))
        CreaProgramacio();
}

void ProgrammingWindow::edited()
{
    if (!loading_)
        modified_ = true;
}

void ProgrammingWindow::focusMoved(QWidget* now)
{
    // Buttons keep the field that had the focus, so a search knows what to search.
    if (!now || now->window() != this || qobject_cast<QPushButton*>(now))
        return;
    searchField_ = searchFieldOf(now->objectName()) ? now->objectName() : QString();
}

void ProgrammingWindow::showMessage(int catalogueId)
{
    showCatalogue(prompter_, ctx_.guru, catalogueId, MessageStyle::Critical);
}

void ProgrammingWindow::runFieldCheck(QLineEdit* field)
{
    const auto check = checks_.find(field);
    if (check == checks_.end())
        return;
    applyCheck(field, check.value()());
}

void ProgrammingWindow::applyCheck(QLineEdit* field, const FieldCheck& check)
{
    if (field->text() != check.text)
        field->setText(check.text);
    if (check.updateDayHours) {
        dayStart_->setText(nightEnd_->text());
        dayEnd_->setText(nightStart_->text());
    }
    if (check.focus == FieldCheck::Focus::MoveOn && !check.messageId)
        return;
    // The focus is still moving; the page, the message and the refocus wait
    // until it has arrived so that they win over the click that moved it.
    QLineEdit* target = check.focus == FieldCheck::Focus::ToNightStart ? nightStart_
                        : check.focus == FieldCheck::Focus::BackToField ? field
                                                                        : nullptr;
    if (check.showLimitsPage)
        tabs_->setCurrentIndex(kLimitsPage);
    QTimer::singleShot(0, this, [this, target, showPage = check.showLimitsPage, id = check.messageId] {
        if (!isVisible())
            return;
        if (showPage)
            tabs_->setCurrentIndex(kLimitsPage);
        if (id)
            showMessage(id);
        if (target) {
            refocusing_ = true;
            target->setFocus(Qt::OtherFocusReason);
            refocusing_ = false;
        }
    });
}

void ProgrammingWindow::openWeekSchedule()
{
    std::optional<std::array<SessionHours, 7>> week;
    if (weekScheduleRunner_) {
        week = weekScheduleRunner_(*this);
    } else {
        WeekSessions current;
        for (int d = 0; d < 7; ++d)
            current[d] = {sessions_[d][0]->text(), sessions_[d][1]->text()};
        WeekScheduleWindow dialog(ctx_, prompter_, current, nightStart_->text(), nightEnd_->text(),
                                  [this] { modified_ = true; }, this);
        if (dialog.exec() == QDialog::Accepted)
            week = dialog.sessions();
    }
    if (!week)
        return;
    for (int d = 0; d < 7; ++d) {
        sessions_[d][0]->setText((*week)[d].start);
        sessions_[d][1]->setText((*week)[d].end);
    }
    modified_ = true;
}

bool ProgrammingWindow::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        if (text == QLatin1String("+") || text == QLatin1String("-"))
            return true;
        const auto rule = keyRules_.find(watched);
        if (rule == keyRules_.end())
            break;
        const bool typing = !text.isEmpty() && (text.at(0).isPrint() || key->key() == Qt::Key_Backspace);
        switch (rule.value()) {
        case KeyRule::Serial:
            if (typing) {
                modified_ = true;
                return true;
            }
            break;
        case KeyRule::Version:
            if (typing)
                return true;
            break;
        case KeyRule::NoBlanks:
            if (text == QLatin1String(" "))
                return true;
            break;
        case KeyRule::Text:
            break;
        }
        if (sessions_[0][0] && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
                                key->key() == Qt::Key_Space)) {
            for (const auto& day : sessions_)
                if (watched == day[0] || watched == day[1]) {
                    openWeekSchedule();
                    return true;
                }
        }
        break;
    }
    case QEvent::FocusIn:
        if (watched->objectName() == QLatin1String("SSCommandRecibir") ||
            watched->objectName() == QLatin1String("SSCommandTransmitir"))
            searchField_.clear();
        break;
    case QEvent::MouseButtonPress:
        if (watched == serial_)
            QTimer::singleShot(0, serial_, [this] { serial_->end(false); });
        for (const auto& day : sessions_)
            if (watched == day[0] || watched == day[1]) {
                QTimer::singleShot(0, this, [this] { openWeekSchedule(); });
                return true;
            }
        break;
    case QEvent::FocusOut: {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Leaving the window (a message box, another program) is not leaving the field.
        if (refocusing_ || reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            break;
        if (auto* field = qobject_cast<QLineEdit*>(watched))
            runFieldCheck(field);
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tvq52
