#include "app/gui/communication_dialog.h"

#include "app/gui/dialog_buttons.h"

#include "app/app_context.h"
#include "app/settings.h"
#include "core/application_info.h"
#include "core/prompter.h"
#include "i18n/catalogue_message.h"
#include "link/line_settings.h"
#include "link/serial_line.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSerialPortInfo>
#include <QStyle>
#include <QVBoxLayout>

namespace tvq52 {

namespace {

// The device a port text names: a port number or a path.
QString portDevice(const QString& text)
{
    bool number = false;
    const int n = text.trimmed().toInt(&number);
    return number ? portNumberDevice(n) : text.trimmed();
}

QString portProblem(const Translator& translator, const QString& text)
{
    const PortAccess access = checkPortAccess(portDevice(text));
    if (access.fault == PortFault::None)
        return {};
    return errorText(translator, portAccessError(access));
}

} // namespace

CommunicationDialog::CommunicationDialog(AppContext& ctx, Prompter& prompter, QWidget* parent)
    : QDialog(parent), ctx_(ctx), prompter_(prompter)
{
    setObjectName(QStringLiteral("Form4"));
    setModal(true);
    setMinimumWidth(340);

    auto* layout = new QVBoxLayout(this);
    buildPort(layout);
    layout->addWidget(buildLinkChoice());
    layout->addWidget(buildDialling());
    auto* group1 = new QButtonGroup(this);
    group1->addButton(rs_);
    group1->addButton(modem_);
    auto* group2 = new QButtonGroup(this);
    group2->addButton(tone_);
    group2->addButton(pulse_);

    addAcceptRow(this, layout, LeaveButton::Exit);

    ctx_.translator.translateWindow(this);
    setWindowTitleOf(this, ctx_.translator.translate(QStringLiteral("Comunicaciones")));
    showSettings();
    connect(port_, &QComboBox::currentTextChanged, this, &CommunicationDialog::showPortState);
}

void CommunicationDialog::buildPort(QVBoxLayout* layout)
{
    auto* form = new QFormLayout;
    port_ = new QComboBox(this);
    port_->setObjectName(QStringLiteral("ComboPort"));
    port_->setEditable(true);
    port_->setInsertPolicy(QComboBox::NoInsert);
    for (int n = 1; n <= 99; ++n)
        port_->addItem(QString::number(n));
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        port_->addItem(info.systemLocation());
    // Ports that cannot be opened are marked, found without opening them:
    // a unit on the line is not disturbed by looking.
    const QIcon warning = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    for (int i = 0; i < port_->count(); ++i) {
        const QString problem = portProblem(ctx_.translator, port_->itemText(i));
        if (problem.isEmpty())
            continue;
        port_->setItemIcon(i, warning);
        port_->setItemData(i, problem, Qt::ToolTipRole);
        port_->setItemData(i, palette().color(QPalette::Disabled, QPalette::Text), Qt::ForegroundRole);
    }
    port_->setToolTip(QStringLiteral("Número de puerto (1 a 99) o ruta del dispositivo, p. ej. /dev/ttyUSB0"));
    port_->setMinimumContentsLength(18);
    auto* portLabel = new QLabel(QStringLiteral("Puerto:"), this);
    portLabel->setObjectName(QStringLiteral("LbPuerto"));
    portLabel->setBuddy(port_);
    form->addRow(portLabel, port_);
    layout->addLayout(form);
    portState_ = new QLabel(this);
    portState_->setObjectName(QStringLiteral("LbEstadoPuerto"));
    portState_->setWordWrap(true);
    portState_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    portState_->setStyleSheet(QStringLiteral("color: #a00000"));
    layout->addWidget(portState_);
}

QGroupBox* CommunicationDialog::buildLinkChoice()
{
    auto* link = new QGroupBox(QStringLiteral("Conexión"), this);
    link->setObjectName(QStringLiteral("FrameConexion"));
    auto* linkLayout = new QVBoxLayout(link);
    rs_ = new QRadioButton(QStringLiteral("Cable directo RS-232"), link);
    rs_->setObjectName(QStringLiteral("OptionRs"));
    modem_ = new QRadioButton(QStringLiteral("Módem"), link);
    modem_->setObjectName(QStringLiteral("OptionModem"));
    linkLayout->addWidget(rs_);
    linkLayout->addWidget(modem_);
    return link;
}

QGroupBox* CommunicationDialog::buildDialling()
{
    auto* dial = new QGroupBox(QStringLiteral("Marcación"), this);
    dial->setObjectName(QStringLiteral("FrameMarcacion"));
    auto* dialLayout = new QFormLayout(dial);
    auto* dialKind = new QHBoxLayout;
    tone_ = new QRadioButton(QStringLiteral("Tonos"), dial);
    tone_->setObjectName(QStringLiteral("OptionTonos"));
    pulse_ = new QRadioButton(QStringLiteral("Pulsos"), dial);
    pulse_->setObjectName(QStringLiteral("OptionPulsos"));
    dialKind->addWidget(tone_);
    dialKind->addWidget(pulse_);
    dialKind->addStretch();
    dialLayout->addRow(dialKind);
    prefix_ = new QLineEdit(dial);
    prefix_->setObjectName(QStringLiteral("MaskPrefijo"));
    prefix_->setMaxLength(20);
    // What a Hayes dial string may hold before the number.
    prefix_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9*#, ]*")), prefix_));
    auto* prefixLabel = new QLabel(QStringLiteral("Prefijo:"), dial);
    prefixLabel->setObjectName(QStringLiteral("LbPrefijo"));
    prefixLabel->setBuddy(prefix_);
    dialLayout->addRow(prefixLabel, prefix_);

    return dial;
}

void CommunicationDialog::showSettings()
{
    port_->setCurrentText(portText(ctx_));
    (ctx_.lineSettings.ModemMode != 0 ? modem_ : rs_)->setChecked(true);
    (ctx_.lineSettings.TonePulse == 1 ? tone_ : pulse_)->setChecked(true);
    prefix_->setText(ctx_.lineSettings.DialCode);
    showPortState();
}

void CommunicationDialog::showPortState()
{
    const QString problem = portProblem(ctx_.translator, port_->currentText());
    portState_->setText(problem);
    portState_->setVisible(!problem.isEmpty());
}

void CommunicationDialog::accept()
{
    CommChoice choice;
    choice.portText = port_->currentText();
    choice.dialPrefix = prefix_->text();
    choice.pulse = pulse_->isChecked();
    choice.modem = modem_->isChecked();
    if (auto fault = acceptCommSettings(ctx_, choice)) {
        prompter_.message(Message{fault->text, {}, MessageStyle::Critical, fault->catalogueId, {}});
        (fault->field == CommFault::Field::DialPrefix ? static_cast<QWidget*>(prefix_) : port_)->setFocus();
        return;
    }
    QDialog::accept();
}

} // namespace tvq52
