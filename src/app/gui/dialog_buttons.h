#pragma once

class QBoxLayout;
class QDialog;

namespace tvq52 {

// The settings dialogs' closing row: "Aceptar" (the default, accepts) and
// "Salir" (rejects), right-aligned under `layout`. Their objectNames give
// them their catalogue texts.
void addAcceptExitRow(QDialog* dialog, QBoxLayout* layout);

} // namespace tvq52
