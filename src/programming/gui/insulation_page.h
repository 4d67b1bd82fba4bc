#pragma once

#include "programming/programming_record.h"

#include <QWidget>
#include <array>

class QDoubleSpinBox;

namespace tvq52 {

class FieldRules;

// The acoustic insulation per octave band.
class InsulationPage : public QWidget {
    Q_OBJECT
public:
    InsulationPage(FieldRules& rules, QWidget* parent);

    void showRecord(const ProgrammingRecord& record);
    void readRecord(ProgrammingRecord& record) const;

    std::array<QDoubleSpinBox*, kOctaveCount> octaves{};
};

} // namespace tvq52
