#include "programming/gui/record_header.h"

#include "programming/gui/field_rules.h"
#include "programming/time_text.h"

#include <QDateTime>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTimer>

namespace tvq52 {

RecordHeader::RecordHeader(FieldRules& rules, QWidget* parent) : QGroupBox(parent)
{
    auto* grid = new QGridLayout(this);
    serial = rules.addLineEdit(this, QStringLiteral("MaskNumeroSerie"), FieldRules::Keys::Locked);
    serial->setReadOnly(true);
    rules.onClick(serial, [this] { serial->end(false); });
    version = rules.addLineEdit(this, QStringLiteral("MaskVersion"), FieldRules::Keys::Shown);
    version->setReadOnly(true);
    date = rules.addLineEdit(this, QStringLiteral("MaskFecha"), FieldRules::Keys::NoBlanks);
    date->setInputMask(QStringLiteral("99/99/99;_"));
    pcDate = new QLineEdit(this);
    pcDate->setObjectName(QStringLiteral("TextFecha"));
    pcTime = new QLineEdit(this);
    pcTime->setObjectName(QStringLiteral("TextHora"));
    for (QLineEdit* e : {pcDate, pcTime}) {
        e->setReadOnly(true);
        e->setFocusPolicy(Qt::NoFocus);
    }
    // Wide enough for ten digits, and no wider: the header shares its row
    // with five labels that grow in some languages.
    const int width = fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 16;
    for (QLineEdit* e : {serial, version, date, pcDate, pcTime})
        e->setMinimumWidth(width);
    grid->addWidget(new QLabel(QStringLiteral("N. Serie:"), this), 0, 0);
    grid->addWidget(serial, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Versión:"), this), 0, 2);
    grid->addWidget(version, 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("Fecha:"), this), 0, 4);
    grid->addWidget(date, 0, 5);
    grid->setColumnStretch(6, 1);
    grid->addWidget(new QLabel(QStringLiteral("Fecha PC:"), this), 0, 7);
    grid->addWidget(pcDate, 0, 8);
    grid->addWidget(new QLabel(QStringLiteral("Hora PC:"), this), 0, 9);
    grid->addWidget(pcTime, 0, 10);

    clockTimer = new QTimer(this);
    clockTimer->setObjectName(QStringLiteral("Timer1"));
    clockTimer->setInterval(1000);
    connect(clockTimer, &QTimer::timeout, this, &RecordHeader::showClock);
    clockTimer->start();
}

void RecordHeader::showClock()
{
    const QDateTime now = QDateTime::currentDateTime();
    pcDate->setText(shortDateText(now.date()));
    pcTime->setText(QLocale().toString(now.time(), QLocale::LongFormat));
}

void RecordHeader::showRecord(const ProgrammingRecord& r)
{
    serial->setText(QString::number(r.serial));
    date->setText(shortDateText(r.date));
    version->setText(r.version);
    showClock();
}

void RecordHeader::readRecord(ProgrammingRecord& r) const
{
    r.serial = serial->text().trimmed().toInt();
    r.date = parseShortDate(date->text()).value_or(QDate());
    r.version = version->text();
}

} // namespace tvq52
