#include "app/gui/dialog_buttons.h"

#include <QBoxLayout>
#include <QDialog>
#include <QPushButton>

namespace tvq52 {

void addAcceptRow(QDialog* dialog, QBoxLayout* layout, LeaveButton leave)
{
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ok = new QPushButton(QStringLiteral("Aceptar"), dialog);
    ok->setObjectName(QStringLiteral("SSCommandAceptar"));
    ok->setDefault(true);
    const bool cancel = leave == LeaveButton::Cancel;
    auto* exit = new QPushButton(cancel ? QStringLiteral("Cancelar") : QStringLiteral("Salir"), dialog);
    exit->setObjectName(cancel ? QStringLiteral("SSCommandCancelar") : QStringLiteral("SSCommandExit"));
    buttons->addWidget(ok);
    buttons->addWidget(exit);
    layout->addLayout(buttons);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(exit, &QPushButton::clicked, dialog, &QDialog::reject);
}

} // namespace tvq52
