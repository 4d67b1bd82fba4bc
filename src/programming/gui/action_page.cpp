#include "programming/gui/action_page.h"

#include "programming/field_checks.h"
#include "programming/gui/field_rules.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace tvq52 {

namespace {

const char* const kDayStems[7] = {"Lunes", "Martes", "Miercoles", "Jueves", "Viernes", "Sabado", "Domingo"};
const char* const kDayCaptions[7] = {"Lunes", "Martes", "Miércoles", "Jueves", "Viernes", "Sábado", "Domingo"};

} // namespace

ActionPage::ActionPage(FieldRules& rules, std::function<void()> openWeekSchedule, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QGridLayout(this);
    QGroupBox* venue = buildVenue(rules);
    QGroupBox* neighbour = buildNeighbour(rules);
    for (QLineEdit* e : {venueSeconds, neighbourSeconds}) {
        // New records leave these boxes alone, so they start with a valid value.
        e->setText(QStringLiteral("01"));
        e->setValidator(digitsOnly(2, e));
        e->setMaximumWidth(60);
    }
    for (QRadioButton* b : {venueLeq1s, venueLeq125, neighbourLeq1s, neighbourLeq125, neighbourNone})
        connect(b, &QRadioButton::clicked, this, [&rules] { rules.markEdited(); });
    connect(venueLeq1s, &QRadioButton::clicked, this,
            [this] { venueSeconds->setText(secondsForChosenOption(venueSeconds->text())); });
    connect(neighbourLeq1s, &QRadioButton::clicked, this,
            [this] { neighbourSeconds->setText(secondsForChosenOption(neighbourSeconds->text())); });

    QGroupBox* attenuationBox = buildAttenuation(rules);
    QGroupBox* sessionBox = buildSessions(rules, openWeekSchedule);

    layout->addWidget(venue, 0, 0);
    layout->addWidget(neighbour, 0, 1);
    layout->addWidget(attenuationBox, 1, 0);
    layout->addWidget(sessionBox, 1, 1);
    layout->setRowStretch(2, 1);
}

QGroupBox* ActionPage::buildVenue(FieldRules& rules)
{
    auto* venue = new QGroupBox(QStringLiteral("Tipo de actuación (emisión)"), this);
    auto* venueLayout = new QGridLayout(venue);
    venueLeq1s = new QRadioButton(QStringLiteral("Leq (s):"), venue);
    venueLeq1s->setObjectName(QStringLiteral("OptionLocalLeq1s"));
    venueLeq125 = new QRadioButton(QStringLiteral("Leq 125 ms"), venue);
    venueLeq125->setObjectName(QStringLiteral("OptionLocalLeq125"));
    venueSeconds = rules.addLineEdit(venue, QStringLiteral("MaskTempsActLoc"), FieldRules::Keys::NoBlanks);
    venueLayout->addWidget(venueLeq1s, 0, 0);
    venueLayout->addWidget(venueSeconds, 0, 1);
    venueLayout->addWidget(venueLeq125, 1, 0);
    venueLayout->setColumnStretch(2, 1);
    venueLayout->setRowStretch(3, 1);
    return venue;
}

QGroupBox* ActionPage::buildNeighbour(FieldRules& rules)
{
    auto* neighbour = new QGroupBox(QStringLiteral("Tipo de actuación (recepción)"), this);
    auto* neighbourLayout = new QGridLayout(neighbour);
    neighbourLeq1s = new QRadioButton(QStringLiteral("Leq (s):"), neighbour);
    neighbourLeq1s->setObjectName(QStringLiteral("OptionVeiLeq1s"));
    neighbourLeq125 = new QRadioButton(QStringLiteral("Leq 125 ms"), neighbour);
    neighbourLeq125->setObjectName(QStringLiteral("OptionVeiLeq125"));
    neighbourNone = new QRadioButton(QStringLiteral("No actúa"), neighbour);
    neighbourNone->setObjectName(QStringLiteral("OptionVeiNo"));
    neighbourSeconds = rules.addLineEdit(neighbour, QStringLiteral("MaskTempsActVei"), FieldRules::Keys::NoBlanks);
    neighbourLayout->addWidget(neighbourLeq1s, 0, 0);
    neighbourLayout->addWidget(neighbourSeconds, 0, 1);
    neighbourLayout->addWidget(neighbourLeq125, 1, 0);
    neighbourLayout->addWidget(neighbourNone, 2, 0);
    neighbourLayout->setColumnStretch(2, 1);
    neighbourLayout->setRowStretch(3, 1);
    return neighbour;
}

QGroupBox* ActionPage::buildAttenuation(FieldRules& rules)
{
    auto* attenuationBox = new QGroupBox(QStringLiteral("Atenuación"), this);
    auto* attenuationForm = new QFormLayout(attenuationBox);
    attenuation = rules.addLineEdit(attenuationBox, QStringLiteral("MaskTiempoAtenuacion"), FieldRules::Keys::NoBlanks);
    attenuation->setValidator(digitsOnly(4, attenuation));
    attenuation->setMaximumWidth(80);
    attenuationForm->addRow(QStringLiteral("Tiempo atenuación (s):"), attenuation);
    return attenuationBox;
}

QGroupBox* ActionPage::buildSessions(FieldRules& rules, const std::function<void()>& openWeekSchedule)
{
    auto* sessionBox = new QGroupBox(QStringLiteral("Horarios sesion"), this);
    auto* sessionGrid = new QGridLayout(sessionBox);
    sessionGrid->addWidget(new QLabel(QStringLiteral("Inicio"), sessionBox), 0, 1);
    sessionGrid->addWidget(new QLabel(QStringLiteral("Final"), sessionBox), 0, 2);
    for (int d = 0; d < 7; ++d) {
        sessionGrid->addWidget(new QLabel(QString::fromUtf8(kDayCaptions[d]), sessionBox), d + 1, 0);
        for (int k = 0; k < 2; ++k) {
            const QString name =
                QStringLiteral("Mask%1%2")
                    .arg(QString::fromUtf8(kDayStems[d]), k ? QStringLiteral("Fi") : QStringLiteral("Ini"));
            QLineEdit* e = rules.addLineEdit(sessionBox, name, FieldRules::Keys::Free);
            e->setReadOnly(true);
            e->setCursor(Qt::PointingHandCursor);
            e->setToolTip(QStringLiteral("Pulse para editar el horario semanal"));
            e->setMaximumWidth(90);
            rules.onActivate(e, openWeekSchedule);
            sessions[d][k] = e;
            sessionGrid->addWidget(e, d + 1, k + 1);
        }
    }
    sessionGrid->setColumnStretch(3, 1);
    sessionGrid->setRowStretch(8, 1);
    return sessionBox;
}

void ActionPage::showRecord(const ProgrammingRecord& r, bool keepSeconds)
{
    (r.venueAction.kind == ActionType::Leq125ms ? venueLeq125 : venueLeq1s)->setChecked(true);
    if (!keepSeconds && r.venueAction.kind == ActionType::LeqSeconds)
        venueSeconds->setText(r.venueAction.seconds);
    switch (r.neighbourAction.kind) {
    case ActionType::None:
        neighbourNone->setChecked(true);
        break;
    case ActionType::Leq125ms:
        neighbourLeq125->setChecked(true);
        break;
    case ActionType::LeqSeconds:
        neighbourLeq1s->setChecked(true);
        if (!keepSeconds)
            neighbourSeconds->setText(r.neighbourAction.seconds);
        break;
    }
    setSessionHours(r.sessions);
    attenuation->setText(QString::number(r.attenuationSeconds));
}

void ActionPage::readRecord(ProgrammingRecord& r) const
{
    r.venueAction = {venueLeq125->isChecked() ? ActionType::Leq125ms : ActionType::LeqSeconds, venueSeconds->text()};
    r.neighbourAction = {neighbourNone->isChecked()         ? ActionType::None
                             : neighbourLeq125->isChecked() ? ActionType::Leq125ms
                                                            : ActionType::LeqSeconds,
                         neighbourSeconds->text()};
    r.sessions = sessionHours();
    r.attenuationSeconds = attenuation->text().trimmed().toInt();
}

void ActionPage::applyFirmware(const QString& version)
{
    const bool seconds = hasActionSeconds(version);
    venueSeconds->setEnabled(seconds);
    neighbourSeconds->setEnabled(seconds);
}

std::array<SessionHours, 7> ActionPage::sessionHours() const
{
    std::array<SessionHours, 7> week;
    for (int d = 0; d < 7; ++d)
        week[d] = {sessions[d][0]->text(), sessions[d][1]->text()};
    return week;
}

void ActionPage::setSessionHours(const std::array<SessionHours, 7>& week)
{
    for (int d = 0; d < 7; ++d) {
        sessions[d][0]->setText(week[d].start);
        sessions[d][1]->setText(week[d].end);
    }
}

} // namespace tvq52
