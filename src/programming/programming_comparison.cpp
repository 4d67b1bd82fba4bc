#include "programming/programming_comparison.h"

#include "core/catalogue_ids.h"
#include "i18n/translator.h"

namespace tvq52 {

namespace {

const QChar kCr = QLatin1Char('\r');

class Listing {
public:
    explicit Listing(const Translator& translator) : translator_(translator) {}

    void add(int labelId, const char* separator, const QString& shown, const QString& received)
    {
        addLabelled(translator_.text(labelId) + QLatin1String(separator), shown, received, QStringLiteral(" <-> "));
    }
    void addText(int labelId, const char* separator, const QString& shown, const QString& received)
    {
        if (shown != received)
            add(labelId, separator, shown, received);
    }
    void addNumber(int labelId, const char* separator, int shown, int received)
    {
        if (shown != received)
            add(labelId, separator, QString::number(shown), QString::number(received));
    }
    // Yes/No lines join the two words without spaces.
    void addYesNo(const QString& label, bool shown, bool received)
    {
        if (shown != received)
            addLabelled(label, yesNo(shown), yesNo(received), QStringLiteral("<->"));
    }
    void addLine(const QString& line)
    {
        text_ += line + kCr;
        lines_ = true;
    }
    QString yesNo(bool yes) const { return translator_.text(yes ? msg::Yes : msg::No); }

    bool hasLines() const { return lines_; }
    QString text() const { return text_; }
    void append(const QString& more) { text_ += more; }

private:
    void addLabelled(const QString& label, const QString& shown, const QString& received, const QString& arrow)
    {
        addLine(label + QLatin1Char('\t') + shown + arrow + received);
    }

    const Translator& translator_;
    QString text_ = QString(15, QLatin1Char(' ')) + QStringLiteral("PC <-> TVQ52") + kCr + kCr;
    bool lines_ = false;
};

// The seconds as a plain number, as the unit reports them (Leq5s, not Leq05s).
QString shownAction(const ActionType& a)
{
    if (a.kind == ActionType::LeqSeconds)
        return QStringLiteral("Leq%1s").arg(a.seconds.trimmed().toInt());
    return encodeActionType(a);
}

QString octaveText(float value)
{
    return QString::number(double(value));
}

} // namespace

QString comparisonText(const ProgrammingRecord& shown, const ProgIntervals& shownIntervals,
                       const ReceivedProgramming& rx, const Translator& translator)
{
    Listing out(translator);
    out.addYesNo(translator.text(msg::ClockChangeLabel), shown.clockChange, rx.BoCambioHora == 1);
    ActionType venue = shown.venueAction;
    if (venue.kind == ActionType::None)
        venue.kind = ActionType::LeqSeconds; // the venue side always acts
    out.addText(65, "", shownAction(venue), rx.TTipoActuacionLocal);
    out.addText(66, "", shownAction(shown.neighbourAction), rx.TTipoActuacionVecino);
    out.addText(1, ": ", shown.language, rx.TIdioma);
    out.addNumber(10, " ", shown.leqMinutes, rx.ByTLeq);
    out.addNumber(77, " ", shown.fastLimit, rx.ByMFast);
    out.addText(11, ": ", out.yesNo(shown.continuousPrinting), out.yesNo(rx.BoImpresion == 1));
    for (int d = 0; d < 7; ++d) {
        const int day = (d + 1) % 7; // the reply is Sunday first
        const SessionHours& s = shown.sessions[d];
        if (s.start != rx.sessions[day] || s.end != rx.sessions[7 + day])
            out.add(83 + d, " ", s.start + QLatin1Char('-') + s.end,
                    rx.sessions[day] + QLatin1Char('-') + rx.sessions[7 + day]);
    }
    out.addNumber(102, ": ", shown.dayLimitVenue, rx.ByNivelDiaLocal);
    out.addNumber(103, ": ", shown.dayLimitNeighbour, rx.ByNivelDiaVecino);
    out.addText(78, " ", shown.nightStart, rx.THoraEmpiezaNoche);
    out.addText(79, " ", shown.nightEnd, rx.THoraTerminaNoche);
    out.addNumber(104, ": ", shown.nightLimitVenue, rx.ByNivelNocheLocal);
    out.addNumber(105, ": ", shown.nightLimitNeighbour, rx.ByNivelNocheVecino);
    out.addNumber(80, ": ", shown.attenuationSeconds, rx.ITiempoAtenuacion);
    out.addNumber(155, "", shown.rings, rx.ByRings);
    if (hasGlobalCorrection(shown.version))
        out.addYesNo(QStringLiteral("ENOS"), shown.globalCorrection, rx.CMI == 1);
    for (int k = 0; k < kOctaveCount; ++k)
        if (shown.octaves[k] != rx.octaves[k])
            out.add(146 + k, "", octaveText(shown.octaves[k]), octaveText(rx.octaves[k]));

    QString differing;
    for (int k = 0; k < kIntervalCount; ++k)
        if (shownIntervals[k].startDay != rx.intervals[k].startDay)
            differing += QStringLiteral("  ") + QString::number(k + 1);
    if (!differing.isEmpty())
        out.addLine(translator.text(msg::IntervalsDiffer) + QLatin1Char('\t') + differing);

    if (!out.hasLines())
        return {};
    out.append(kCr + translator.text(msg::ReplaceWithReceived) + kCr);
    return out.text();
}

} // namespace tvq52
