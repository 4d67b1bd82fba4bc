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

private:
    // The values as loaded and as their boxes showed them: a value with more
    // decimals than a box shows is kept as it was until it is edited.
    std::array<float, kOctaveCount> loaded_{};
    std::array<double, kOctaveCount> shownAs_{};
};

} // namespace tvq52
