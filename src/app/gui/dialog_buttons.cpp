#include "app/gui/dialog_buttons.h"

#include <QBoxLayout>
#include <QDialog>
#include <QPushButton>

namespace tvq52 {

void addAcceptExitRow(QDialog* dialog, QBoxLayout* layout)
{
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ok = new QPushButton(QStringLiteral("Aceptar"), dialog);
    ok->setObjectName(QStringLiteral("SSCommandAceptar"));
    ok->setDefault(true);
    auto* exit = new QPushButton(QStringLiteral("Salir"), dialog);
    exit->setObjectName(QStringLiteral("SSCommandExit"));
    buttons->addWidget(ok);
    buttons->addWidget(exit);
    layout->addLayout(buttons);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(exit, &QPushButton::clicked, dialog, &QDialog::reject);
}

} // namespace tvq52
