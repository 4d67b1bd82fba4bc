#include "programming/received_load.h"

namespace tvq52 {

namespace {

ActionType receivedAction(const QString& text)
{
    if (text == QLatin1String("Leq125ms"))
        return {ActionType::Leq125ms, {}};
    if (text == QLatin1String("0"))
        return {ActionType::None, {}};
    return {ActionType::LeqSeconds, receivedActionSeconds(text)};
}

} // namespace

QString receivedActionSeconds(const QString& actionText)
{
    const QString digits = actionText.size() > 4 ? actionText.mid(3, actionText.size() - 4) : QString();
    return QStringLiteral("%1").arg(digits.toInt(), 2, 10, QLatin1Char('0'));
}

ProgrammingRecord takeOverReceived(const ProgrammingRecord& shown, const ReceivedProgramming& rx,
                                   const QString& unitFirmware)
{
    ProgrammingRecord r = shown;
    r.clockChange = rx.BoCambioHora == 1;
    // A "0" on the venue side is no option of the window: it reads as seconds.
    r.venueAction = receivedAction(rx.TTipoActuacionLocal);
    if (r.venueAction.kind == ActionType::None)
        r.venueAction = {ActionType::LeqSeconds, receivedActionSeconds(rx.TTipoActuacionLocal)};
    r.neighbourAction = receivedAction(rx.TTipoActuacionVecino);
    if (hasGlobalCorrection(unitFirmware))
        r.globalCorrection = rx.CMI == 1;
    if (unitLanguages().contains(rx.TIdioma))
        r.language = rx.TIdioma;
    r.leqMinutes = rx.ByTLeq;
    r.fastLimit = rx.ByMFast;
    r.continuousPrinting = rx.BoImpresion == 1;
    // The record is Monday first, the reply Sunday first.
    for (int d = 0; d < 7; ++d) {
        const int day = (d + 1) % 7;
        r.sessions[d] = {rx.sessions[day], rx.sessions[7 + day]};
    }
    r.dayLimitVenue = rx.ByNivelDiaLocal;
    r.dayLimitNeighbour = rx.ByNivelDiaVecino;
    r.nightStart = rx.THoraEmpiezaNoche;
    r.nightEnd = rx.THoraTerminaNoche;
    r.nightLimitVenue = rx.ByNivelNocheLocal;
    r.nightLimitNeighbour = rx.ByNivelNocheVecino;
    r.octaves = rx.octaves;
    r.attenuationSeconds = rx.ITiempoAtenuacion;
    r.rings = rx.ByRings;
    return r;
}

} // namespace tvq52
