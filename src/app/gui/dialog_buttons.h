#pragma once

class QBoxLayout;
class QDialog;

namespace tvq52 {

// The second button of a settings dialog's closing row.
enum class LeaveButton {
    Exit,   // "Salir" (SSCommandExit)
    Cancel, // "Cancelar" (SSCommandCancelar)
};

// The closing row: "Aceptar" (the default, accepts) and the leave button
// (rejects), right-aligned under `layout`. Their objectNames give them their
// catalogue texts.
void addAcceptRow(QDialog* dialog, QBoxLayout* layout, LeaveButton leave);

} // namespace tvq52
