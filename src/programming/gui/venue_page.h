#pragma once

#include "programming/programming_record.h"

#include <QWidget>

class QLineEdit;
class QPlainTextEdit;

namespace tvq52 {

class FieldRules;

// The venue's contact data and the free note.
class VenuePage : public QWidget {
    Q_OBJECT
public:
    VenuePage(FieldRules& rules, QWidget* parent);

    void showRecord(const ProgrammingRecord& record);
    void readRecord(ProgrammingRecord& record) const;

    QLineEdit* contact = nullptr;
    QLineEdit* venue = nullptr;
    QLineEdit* address = nullptr;
    QLineEdit* town = nullptr;
    QLineEdit* phone = nullptr;
    QPlainTextEdit* note = nullptr;
};

} // namespace tvq52
