#pragma once

class QBoxLayout;
class QDialog;
class QDialogButtonBox;

namespace tvq52 {

// The second button of a settings dialog's closing row.
enum class LeaveButton {
    Exit,   // "Salir" (SSCommandExit)
    Cancel, // "Cancelar" (SSCommandCancelar)
};

// The closing row: "Aceptar" (the default, accepts) and the leave button
// (rejects) in a button box under `layout`, in the desktop's order. Their
// objectNames give them their catalogue texts.
QDialogButtonBox* addAcceptRow(QDialog* dialog, QBoxLayout* layout, LeaveButton leave);

} // namespace tvq52
