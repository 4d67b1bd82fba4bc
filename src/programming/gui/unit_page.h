#pragma once

#include "programming/programming_record.h"

#include <QWidget>
#include <array>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;

namespace tvq52 {

class FieldRules;

// The unit's options: its language, Leq time, LFmax limit, rings, clock
// change, printing and, from firmware 4.0 on, the global correction.
class UnitPage : public QWidget {
    Q_OBJECT
public:
    UnitPage(FieldRules& rules, QWidget* parent);

    void showRecord(const ProgrammingRecord& record);
    void readRecord(ProgrammingRecord& record) const;
    void applyFirmware(const QString& version, bool globalCorrection);

    std::array<QRadioButton*, 6> languages{};
    QLineEdit* leqTime = nullptr;
    QLineEdit* fastLimit = nullptr;
    QLineEdit* rings = nullptr;
    QCheckBox* clockChange = nullptr;
    QCheckBox* printing = nullptr;
    QGroupBox* globalCorrectionFrame = nullptr;
    QCheckBox* globalCorrection = nullptr;
};

} // namespace tvq52
