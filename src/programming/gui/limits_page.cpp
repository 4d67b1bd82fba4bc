#include "programming/gui/limits_page.h"

#include "programming/gui/field_rules.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

namespace tvq52 {

LimitsPage::LimitsPage(FieldRules& rules, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QGridLayout(this);
    auto* limits = new QGroupBox(QStringLiteral("Límites LeqT (dBA)"), this);
    auto* grid = new QGridLayout(limits);
    dayVenue = rules.addLineEdit(limits, QStringLiteral("MaskDiaLocal"), FieldRules::Keys::NoBlanks);
    dayNeighbour = rules.addLineEdit(limits, QStringLiteral("MaskDiaVei"), FieldRules::Keys::NoBlanks);
    nightVenue = rules.addLineEdit(limits, QStringLiteral("MaskNitLocal"), FieldRules::Keys::NoBlanks);
    nightNeighbour = rules.addLineEdit(limits, QStringLiteral("MaskNitVei"), FieldRules::Keys::NoBlanks);
    for (QLineEdit* e : {dayVenue, dayNeighbour, nightVenue, nightNeighbour}) {
        e->setValidator(digitsOnly(3, e));
        e->setMaxLength(3);
        e->setMaximumWidth(80);
    }
    grid->addWidget(new QLabel(QStringLiteral("Emisión"), limits), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Recepción"), limits), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Día"), limits), 1, 0);
    grid->addWidget(dayVenue, 1, 1);
    grid->addWidget(dayNeighbour, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Noche"), limits), 2, 0);
    grid->addWidget(nightVenue, 2, 1);
    grid->addWidget(nightNeighbour, 2, 2);
    grid->setColumnStretch(3, 1);

    auto* hours = new QGroupBox(QStringLiteral("Horario día y noche"), this);
    auto* hoursGrid = new QGridLayout(hours);
    nightStart = rules.addLineEdit(hours, QStringLiteral("MaskEmpiezaNoche"), FieldRules::Keys::NoBlanks);
    nightEnd = rules.addLineEdit(hours, QStringLiteral("MaskTerminaNoche"), FieldRules::Keys::NoBlanks);
    dayStart = new QLineEdit(hours);
    dayStart->setObjectName(QStringLiteral("MaskEmpiezaDia"));
    dayEnd = new QLineEdit(hours);
    dayEnd->setObjectName(QStringLiteral("MaskTerminaDia"));
    for (QLineEdit* e : {nightStart, nightEnd, dayStart, dayEnd}) {
        e->setInputMask(QStringLiteral("99:99;_"));
        e->setMaximumWidth(80);
    }
    for (QLineEdit* e : {dayStart, dayEnd}) {
        e->setReadOnly(true);
        e->setFocusPolicy(Qt::NoFocus);
    }
    hoursGrid->addWidget(new QLabel(QStringLiteral("Empieza"), hours), 0, 1);
    hoursGrid->addWidget(new QLabel(QStringLiteral("Termina"), hours), 0, 2);
    hoursGrid->addWidget(new QLabel(QStringLiteral("Noche"), hours), 1, 0);
    hoursGrid->addWidget(nightStart, 1, 1);
    hoursGrid->addWidget(nightEnd, 1, 2);
    hoursGrid->addWidget(new QLabel(QStringLiteral("Día"), hours), 2, 0);
    hoursGrid->addWidget(dayStart, 2, 1);
    hoursGrid->addWidget(dayEnd, 2, 2);
    hoursGrid->setColumnStretch(3, 1);

    layout->addWidget(limits, 0, 0);
    layout->addWidget(hours, 0, 1);
    layout->setRowStretch(1, 1);
}

void LimitsPage::showRecord(const ProgrammingRecord& r)
{
    dayVenue->setText(QString::number(r.dayLimitVenue));
    dayNeighbour->setText(QString::number(r.dayLimitNeighbour));
    nightStart->setText(r.nightStart);
    nightEnd->setText(r.nightEnd);
    followNight();
    nightVenue->setText(QString::number(r.nightLimitVenue));
    nightNeighbour->setText(QString::number(r.nightLimitNeighbour));
}

void LimitsPage::readRecord(ProgrammingRecord& r) const
{
    r.dayLimitVenue = dayVenue->text().trimmed().toInt();
    r.dayLimitNeighbour = dayNeighbour->text().trimmed().toInt();
    r.nightStart = nightStart->text();
    r.nightEnd = nightEnd->text();
    r.nightLimitVenue = nightVenue->text().trimmed().toInt();
    r.nightLimitNeighbour = nightNeighbour->text().trimmed().toInt();
}

void LimitsPage::followNight()
{
    dayStart->setText(nightEnd->text());
    dayEnd->setText(nightStart->text());
}

} // namespace tvq52
