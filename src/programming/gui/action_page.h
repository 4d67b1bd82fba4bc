#pragma once

#include "programming/programming_record.h"

#include <QWidget>
#include <array>
#include <functional>

class QGroupBox;
class QLineEdit;
class QRadioButton;

namespace tvq52 {

class FieldRules;

// How the unit acts on each side, its attenuation time and the weekly
// session hours, which are edited in the week schedule window.
class ActionPage : public QWidget {
    Q_OBJECT
public:
    ActionPage(FieldRules& rules, std::function<void()> openWeekSchedule, QWidget* parent);

    // The seconds boxes keep their text when `keepSeconds` (a new record).
    void showRecord(const ProgrammingRecord& record, bool keepSeconds);
    void readRecord(ProgrammingRecord& record) const;
    void applyFirmware(const QString& version);
    std::array<SessionHours, 7> sessionHours() const;
    void setSessionHours(const std::array<SessionHours, 7>& week);

    QRadioButton* venueLeq1s = nullptr;
    QRadioButton* venueLeq125 = nullptr;
    QLineEdit* venueSeconds = nullptr;
    QRadioButton* neighbourNone = nullptr;
    QRadioButton* neighbourLeq125 = nullptr;
    QRadioButton* neighbourLeq1s = nullptr;
    QLineEdit* neighbourSeconds = nullptr;
    QLineEdit* attenuation = nullptr;
    std::array<std::array<QLineEdit*, 2>, 7> sessions{};

private:
    QGroupBox* buildVenue(FieldRules& rules);
    QGroupBox* buildNeighbour(FieldRules& rules);
    QGroupBox* buildAttenuation(FieldRules& rules);
    // The week's session hours, read-only: a click opens the week schedule.
    QGroupBox* buildSessions(FieldRules& rules, const std::function<void()>& openWeekSchedule);
};

} // namespace tvq52
