#pragma once

#include "programming/programming_record.h"

#include <QGroupBox>

class QLineEdit;
class QTimer;

namespace tvq52 {

class FieldRules;

// The top of the programming window: the serial number, the version and the
// date of the record, and the PC's date and time, which tick every second.
class RecordHeader : public QGroupBox {
    Q_OBJECT
public:
    RecordHeader(FieldRules& rules, QWidget* parent);

    void showRecord(const ProgrammingRecord& record);
    void readRecord(ProgrammingRecord& record) const;
    void showClock();

    QLineEdit* serial = nullptr;
    QLineEdit* version = nullptr;
    QLineEdit* date = nullptr;
    QLineEdit* pcDate = nullptr;
    QLineEdit* pcTime = nullptr;
    // Timer1: ticks for the whole life of the window, exchanges included
    // (their waits process events).
    QTimer* clockTimer = nullptr;
};

} // namespace tvq52
