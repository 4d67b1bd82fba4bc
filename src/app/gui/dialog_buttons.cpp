#include "app/gui/dialog_buttons.h"

#include <QBoxLayout>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

namespace tvq52 {

QDialogButtonBox* addAcceptRow(QDialog* dialog, QBoxLayout* layout, LeaveButton leave)
{
    // The box orders the buttons as the desktop does; their roles say which is which.
    auto* box = new QDialogButtonBox(dialog);
    box->setObjectName(QStringLiteral("ButtonBox"));
    auto* ok = box->addButton(QStringLiteral("Aceptar"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("SSCommandAceptar"));
    ok->setDefault(true);
    const bool cancel = leave == LeaveButton::Cancel;
    auto* exit =
        box->addButton(cancel ? QStringLiteral("Cancelar") : QStringLiteral("Salir"), QDialogButtonBox::RejectRole);
    exit->setObjectName(cancel ? QStringLiteral("SSCommandCancelar") : QStringLiteral("SSCommandExit"));
    layout->addWidget(box);
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

} // namespace tvq52
