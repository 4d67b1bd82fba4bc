#pragma once

#include <QHash>
#include <QList>
#include <QString>

namespace tvq52 {

// What leaving a field does: the text it keeps, the catalogue message to
// show (0 for none), and where the focus goes.
struct FieldCheck {
    enum class Focus { MoveOn, BackToField, ToNightStart };

    QString text;
    int messageId = 0;
    Focus focus = Focus::MoveOn;
    bool showLimitsPage = false; // the page with the limits and night hours
    bool updateDayHours = false; // day start := night end, day end := night start
};

// Day and night limits of the venue: 60..120.
FieldCheck checkVenueLimit(const QString& text);
// Day and night limits of the neighbour: at most 120.
FieldCheck checkNeighbourLimit(const QString& text);
FieldCheck checkFastLimit(const QString& text);       // 60..120, silently
FieldCheck checkLeqTime(const QString& text);         // 2..60, silently
FieldCheck checkRings(const QString& text);           // 1..4, else 1
FieldCheck checkAttenuationTime(const QString& text); // 0 or 2..9999, else 0
FieldCheck checkActionSeconds(const QString& text);   // 1..10 as "01".."10"
FieldCheck checkNightStart(const QString& start, const QString& end);
FieldCheck checkNightEnd(const QString& start, const QString& end);
FieldCheck checkProgrammingDate(const QString& text); // "dd/mm/yy"
// What the unit holds: kLowestOctave..kHighestOctave, refused otherwise.
FieldCheck checkOctave(const QString& text);

// The texts of the checked fields, by control name (MaskDiaLocal ...).
using FieldTexts = QHash<QString, QString>;

// The check of the field `control` over the texts of the record; a field
// without a check keeps its text.
FieldCheck checkField(const QString& control, const FieldTexts& texts);
// Whether the check leaves the field as it is and lets the focus go.
bool passes(const FieldCheck& check, const QString& text);

struct FieldFault {
    QString control;
    FieldCheck check;
};
// Every check of the fields in `texts` that does not pass, in the order of
// the window's pages.
QList<FieldFault> fieldFaults(const FieldTexts& texts);

struct ProgrammingRecord;
// The checked fields as the window shows `record`; a seconds box only when
// its seconds option is chosen.
FieldTexts fieldTexts(const ProgrammingRecord& record);

class Translator;
// The label of a checked field in the user's language, without its colon.
QString fieldLabel(const QString& control, const Translator& translator);
// One line a fault: the field's label, its value, what the check would make
// of it and the check's message.
QString faultLines(const QList<FieldFault>& faults, const FieldTexts& texts, const Translator& translator);

// A seconds box below 1 gets "01" when its seconds option is chosen.
QString secondsForChosenOption(const QString& text);

} // namespace tvq52
