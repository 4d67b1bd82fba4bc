#pragma once

#include "programming/programming_record.h"

#include <QWidget>

class QLineEdit;

namespace tvq52 {

class FieldRules;

// The day and night limits of both sides and the night hours; the day hours
// are shown only, always the other side of the night.
class LimitsPage : public QWidget {
    Q_OBJECT
public:
    LimitsPage(FieldRules& rules, QWidget* parent);

    void showRecord(const ProgrammingRecord& record);
    void readRecord(ProgrammingRecord& record) const;
    // Day start := night end, day end := night start.
    void followNight();

    QLineEdit* dayVenue = nullptr;
    QLineEdit* dayNeighbour = nullptr;
    QLineEdit* nightVenue = nullptr;
    QLineEdit* nightNeighbour = nullptr;
    QLineEdit* nightStart = nullptr;
    QLineEdit* nightEnd = nullptr;
    QLineEdit* dayStart = nullptr;
    QLineEdit* dayEnd = nullptr;
};

} // namespace tvq52
