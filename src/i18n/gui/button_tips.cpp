#include "i18n/gui/button_tips.h"

#include "i18n/catalogue_message.h"
#include "i18n/translator.h"

#include <QPushButton>

namespace tvq52 {

namespace {

struct Tip {
    const char* window; // "" for every window
    const char* button;
    const char* text;
};

// The tips of buttons whose caption alone does not say enough; the
// shortcut a button answers to is named in its tip.
constexpr Tip kTips[] = {
    {"", "SSCommandExit", "Cerrar esta ventana (Ctrl+W)"},
    {"", "SSCommandHelp", "Abrir la ayuda (F1)"},
    {"", "SSCommandImprimir", "Imprimir (Ctrl+P)"},
    {"", "SSCommandBuscar", "Buscar por el campo seleccionado (Ctrl+F)"},
    {"", "SSCommandAnterior", "Ficha anterior (Alt+Izquierda)"},
    {"", "SSCommandSiguiente", "Ficha siguiente (Alt+Derecha)"},
    {"", "SSCommandAceptar", "Aceptar los cambios y cerrar"},
    {"", "SSCommandCancelar", "Cerrar sin aplicar los cambios"},
    {"Form2", "SSCommandGrabar", "Guardar los cambios de esta ficha"},
    {"Form2", "SSCommandBorrar", "Borrar esta ficha y todos sus datos registrados"},
    {"Form2", "SSCommandRecibir", "Recibir la programación del TVQ-52"},
    {"Form2", "SSCommandTransmitir", "Transmitir esta programación al TVQ-52"},
    {"Form2", "SSCommandRealTime", "Ver el nivel del TVQ-52 en tiempo real"},
    {"Form2", "SSCommandIncidencias", "Ver los datos registrados de este TVQ-52"},
    {"Form3", "SSCommandRun", "Empezar a leer el nivel del TVQ-52"},
    {"Form3", "SSCommandStop", "Dejar de leer el nivel"},
    {"Form5", "SSCommandRecibir", "Descargar los datos registrados del TVQ-52"},
    {"Form5", "SSCommandStop", "Parar la descarga; lo recibido se guarda"},
    {"Form5", "SSCommandGrafica", "Ver la gráfica de niveles"},
    {"Form5", "SSCommandDiario", "Ver el diario de intercambios"},
    {"Form5", "SSCommandCsv", "Guardar los datos en un archivo CSV"},
    {"Form5", "SSCommandExportar", "Guardar los datos en un archivo de intercambio TQ52"},
    {"Form5", "SSCommandProgramacion", "Ver la programación de este TVQ-52"},
    {"Form6", "SSCommandCsv", "Guardar los datos en un archivo CSV"},
    {"Form8", "CommandVolver", "Descargar los datos de este intervalo"},
    {"Form9", "SSCommandHistorial", "Ver todo el historial en una gráfica"},
    {"Form9", "SSCommandSliderLeft", "Retroceder en el tiempo"},
    {"Form9", "SSCommandSliderRight", "Avanzar en el tiempo"},
    {"Form10", "SSCommandRetry", "Volver a empezar por el lunes"},
    {"FormHistorial", "SSCommandAcercar", "Ver un periodo más corto"},
    {"FormHistorial", "SSCommandAlejar", "Ver un periodo más largo"},
    {"FormHistorial", "SSCommandTodo", "Ver todo el historial"},
    {"FormBaseDatos", "SSCommandProbar", "Comprobar la conexión con el servidor"},
    {"ReportPreviewWindow", "SSCommandPagina", "Elegir el papel, la orientación y los márgenes"},
    {"ReportPreviewWindow", "SSCommandPdf", "Guardar el informe en un archivo PDF"},
    {"Form16", "sscmdCancel", "Cancelar la importación"},
};

} // namespace

QString nativeButtonTip(const QString& window, const QString& button)
{
    const char* general = nullptr;
    for (const Tip& tip : kTips) {
        if (button != QLatin1String(tip.button))
            continue;
        if (window == QLatin1String(tip.window))
            return QString::fromUtf8(tip.text);
        if (!*tip.window)
            general = tip.text;
    }
    // The seven confirm buttons of the week, "SSCommandLunes" to "SSCommandDomingo".
    if (!general && window == QLatin1String("Form10") && button.startsWith(QLatin1String("SSCommand")))
        return QStringLiteral("Confirmar el horario de este día");
    return general ? QString::fromUtf8(general) : QString();
}

void addButtonTips(QWidget* window, const Translator& translator)
{
    for (QPushButton* b : window->findChildren<QPushButton*>()) {
        if (!b->toolTip().isEmpty())
            continue;
        const QString tip = nativeButtonTip(window->objectName(), b->objectName());
        if (!tip.isEmpty())
            b->setToolTip(translator.translate(tip));
    }
}

void showRefusal(QWidget* control, const std::optional<Error>& why, const Translator& translator)
{
    // The tip the control had before it was refused, to give back.
    static constexpr char kTipBefore[] = "tipBeforeRefusal";
    if (!control)
        return;
    const bool refused = control->property(kTipBefore).isValid();
    if (why) {
        if (!refused)
            control->setProperty(kTipBefore, control->toolTip());
        control->setEnabled(false);
        control->setToolTip(errorText(translator, *why));
    } else if (refused) {
        control->setToolTip(control->property(kTipBefore).toString());
        control->setProperty(kTipBefore, QVariant());
        control->setEnabled(true);
    }
}

} // namespace tvq52
