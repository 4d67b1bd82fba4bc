#include "programming/field_checks.h"

#include "core/catalogue_ids.h"
#include "i18n/translator.h"
#include "programming/programming_record.h"
#include "programming/time_text.h"

#include <array>
#include <functional>

namespace tvq52 {

namespace {

using Focus = FieldCheck::Focus;

bool isBlank(const QString& text)
{
    return text.trimmed().isEmpty();
}

// Empty and unreadable texts count as 0, as the numeric boxes read them.
int numberIn(const QString& text)
{
    return text.trimmed().toInt();
}

FieldCheck limitCorrected(const QString& value)
{
    return {value, 0, Focus::BackToField, true};
}

FieldCheck checkNight(const QString& own, const QString& start, const QString& end, int invalidMessage)
{
    if (!isValidClockTime(own))
        return {own, invalidMessage, Focus::BackToField, true};
    if (parseClockTime(start) == parseClockTime(end))
        return {own, msg::StartEqualsEnd, Focus::ToNightStart, true};
    return {clockText(*parseClockTime(own)), 0, Focus::MoveOn, false, true};
}

} // namespace

FieldCheck checkVenueLimit(const QString& text)
{
    if (isBlank(text))
        return {text, msg::WrongLimit, Focus::BackToField, true};
    const int v = numberIn(text);
    if (v < 60)
        return limitCorrected(QStringLiteral("60"));
    if (v > 120)
        return limitCorrected(QStringLiteral("120"));
    return {text};
}

FieldCheck checkNeighbourLimit(const QString& text)
{
    if (isBlank(text))
        return {text, msg::WrongLimit, Focus::BackToField, true};
    if (numberIn(text) > 120)
        return limitCorrected(QStringLiteral("120"));
    return {text};
}

FieldCheck checkFastLimit(const QString& text)
{
    const int v = numberIn(text);
    if (v < 60)
        return {QStringLiteral("60")};
    if (v > 120)
        return {QStringLiteral("120")};
    return {text};
}

FieldCheck checkLeqTime(const QString& text)
{
    const int v = numberIn(text);
    if (v < 2)
        return {QStringLiteral("2")};
    if (v > 60)
        return {QStringLiteral("60")};
    return {text};
}

FieldCheck checkRings(const QString& text)
{
    const int v = numberIn(text);
    if (v < 1 || v > 4)
        return {QStringLiteral("1")};
    return {text};
}

FieldCheck checkAttenuationTime(const QString& text)
{
    if (isBlank(text))
        return {QStringLiteral("0")};
    const int v = numberIn(text);
    if (v != 0 && (v < 2 || v > 9999))
        return {QStringLiteral("0")};
    return {text};
}

FieldCheck checkActionSeconds(const QString& text)
{
    if (isBlank(text))
        return {text, msg::BadValue, Focus::BackToField};
    const int v = numberIn(text);
    if (v < 1)
        return {QStringLiteral("01")};
    if (v > 10)
        return {QStringLiteral("10")};
    return {text};
}

FieldCheck checkNightStart(const QString& start, const QString& end)
{
    return checkNight(start, start, end, msg::WrongNightStart);
}

FieldCheck checkNightEnd(const QString& start, const QString& end)
{
    return checkNight(end, start, end, msg::WrongNightEnd);
}

FieldCheck checkProgrammingDate(const QString& text)
{
    // The month test on the raw text catches "13" before the date is read.
    if (!parseShortDate(text) || text.left(2) == QLatin1String("00") || text.mid(3, 2) > QLatin1String("12"))
        return {text, msg::WrongDate, Focus::BackToField};
    return {text};
}

FieldCheck checkOctave(const QString& text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !(v >= kLowestOctave && v <= kHighestOctave))
        return {text, msg::BadValue, Focus::BackToField};
    return {text};
}

namespace {

struct CheckedField {
    const char* control;
    std::function<FieldCheck(const FieldTexts&)> check;
    int labelId; // the field's label in the comparison with the unit
};

QString octaveControl(int k)
{
    return QStringLiteral("MaskOctava%1").arg(k + 1);
}

QString textOf(const FieldTexts& texts, const char* control)
{
    return texts.value(QString::fromLatin1(control));
}

// In the order of the window's pages, so the first fault is the first a user meets.
const QList<CheckedField>& checkedFields()
{
    static const QList<CheckedField> fields = [] {
        QList<CheckedField> list;
        auto add = [&list](const char* control, FieldCheck (*check)(const QString&), int labelId) {
            list.append(
                {control, [control, check](const FieldTexts& t) { return check(textOf(t, control)); }, labelId});
        };
        add("MaskFecha", checkProgrammingDate, 4);
        add("MaskTLeq", checkLeqTime, 10);
        add("MaskMFast", checkFastLimit, 77);
        add("MaskRings", checkRings, 155);
        add("MaskTempsActLoc", checkActionSeconds, 65);
        add("MaskTempsActVei", checkActionSeconds, 66);
        add("MaskTiempoAtenuacion", checkAttenuationTime, 80);
        add("MaskDiaLocal", checkVenueLimit, 102);
        add("MaskDiaVei", checkNeighbourLimit, 103);
        list.append({"MaskEmpiezaNoche",
                     [](const FieldTexts& t) {
                         return checkNightStart(textOf(t, "MaskEmpiezaNoche"), textOf(t, "MaskTerminaNoche"));
                     },
                     78});
        list.append({"MaskTerminaNoche",
                     [](const FieldTexts& t) {
                         return checkNightEnd(textOf(t, "MaskEmpiezaNoche"), textOf(t, "MaskTerminaNoche"));
                     },
                     79});
        add("MaskNitLocal", checkVenueLimit, 104);
        add("MaskNitVei", checkNeighbourLimit, 105);
        // The names live as long as the list: the controls point into them.
        static const std::array<QByteArray, kOctaveCount> octaves = [] {
            std::array<QByteArray, kOctaveCount> names;
            for (int k = 0; k < kOctaveCount; ++k)
                names[k] = octaveControl(k).toLatin1();
            return names;
        }();
        for (int k = 0; k < kOctaveCount; ++k)
            add(octaves[k].constData(), checkOctave, 146 + k);
        return list;
    }();
    return fields;
}

} // namespace

FieldCheck checkField(const QString& control, const FieldTexts& texts)
{
    for (const CheckedField& f : checkedFields())
        if (control == QLatin1String(f.control))
            return f.check(texts);
    return {texts.value(control)};
}

bool passes(const FieldCheck& check, const QString& text)
{
    return check.text == text && check.messageId == 0 && check.focus == FieldCheck::Focus::MoveOn;
}

QList<FieldFault> fieldFaults(const FieldTexts& texts)
{
    QList<FieldFault> faults;
    for (const CheckedField& f : checkedFields()) {
        const QString control = QString::fromLatin1(f.control);
        if (!texts.contains(control))
            continue;
        const FieldCheck check = f.check(texts);
        if (!passes(check, texts.value(control)))
            faults.append({control, check});
    }
    return faults;
}

FieldTexts fieldTexts(const ProgrammingRecord& r)
{
    FieldTexts t;
    t.insert(QStringLiteral("MaskFecha"), r.date.isValid() ? shortDateText(r.date) : QString());
    t.insert(QStringLiteral("MaskTLeq"), QString::number(r.leqMinutes));
    t.insert(QStringLiteral("MaskMFast"), QString::number(r.fastLimit));
    t.insert(QStringLiteral("MaskRings"), QString::number(r.rings));
    if (r.venueAction.kind == ActionType::LeqSeconds)
        t.insert(QStringLiteral("MaskTempsActLoc"), r.venueAction.seconds);
    if (r.neighbourAction.kind == ActionType::LeqSeconds)
        t.insert(QStringLiteral("MaskTempsActVei"), r.neighbourAction.seconds);
    t.insert(QStringLiteral("MaskTiempoAtenuacion"), QString::number(r.attenuationSeconds));
    t.insert(QStringLiteral("MaskDiaLocal"), QString::number(r.dayLimitVenue));
    t.insert(QStringLiteral("MaskDiaVei"), QString::number(r.dayLimitNeighbour));
    t.insert(QStringLiteral("MaskEmpiezaNoche"), r.nightStart);
    t.insert(QStringLiteral("MaskTerminaNoche"), r.nightEnd);
    t.insert(QStringLiteral("MaskNitLocal"), QString::number(r.nightLimitVenue));
    t.insert(QStringLiteral("MaskNitVei"), QString::number(r.nightLimitNeighbour));
    for (int k = 0; k < kOctaveCount; ++k)
        t.insert(octaveControl(k), QString::number(double(r.octaves[k])));
    return t;
}

QString fieldLabel(const QString& control, const Translator& translator)
{
    for (const CheckedField& f : checkedFields())
        if (control == QLatin1String(f.control)) {
            QString label = translator.text(f.labelId).trimmed();
            if (label.endsWith(QLatin1Char(':')))
                label.chop(1);
            return label.trimmed();
        }
    return control;
}

QString faultLines(const QList<FieldFault>& faults, const FieldTexts& texts, const Translator& translator)
{
    QStringList lines;
    for (const FieldFault& f : faults) {
        const QString value = texts.value(f.control);
        QString line = QStringLiteral("%1: \"%2\"").arg(fieldLabel(f.control, translator), value);
        if (f.check.text != value)
            line += QStringLiteral(" -> \"%1\"").arg(f.check.text);
        if (f.check.messageId)
            line += QStringLiteral(" (%1)").arg(translator.text(f.check.messageId));
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

QString secondsForChosenOption(const QString& text)
{
    return numberIn(text) < 1 ? QStringLiteral("01") : text;
}

} // namespace tvq52
