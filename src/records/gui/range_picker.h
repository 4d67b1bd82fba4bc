#pragma once

#include "records/recorded_data.h"

#include <QDate>
#include <QDateTime>
#include <QDialog>
#include <QFrame>
#include <QHash>
#include <optional>

class QHBoxLayout;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QToolButton;

namespace tvq52 {

class Translator;
class Prompter;

// A month of days, Sunday first, with the weekday and month names of the
// catalogue (a stock calendar takes them from the system's locale).
class MonthCalendar : public QFrame {
    Q_OBJECT
public:
    explicit MonthCalendar(const Translator& translator, QWidget* parent = nullptr);

    void showMonth(const QDate& selected);
    QDate selected() const { return selected_; }
    QString monthTitle() const;
    QStringList weekdayHeadings() const;

signals:
    void picked(const QDate& date);

protected:
    // Page Up and Page Down step a month, with Shift a year.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QToolButton* addStep(QHBoxLayout* row, const char* name, const char* tip, const QString& caption, int months);
    void stepMonth(int months);
    void fill();

    const Translator& translator_;
    QDate selected_;
    QDate month_; // its first day
    QLabel* title_ = nullptr;
    QList<QLabel*> weekdays_;
    QList<QToolButton*> days_;
};

// The range picker: the range of a download, "dd/mm/yy hh:nn" from and to, each with a
// drop-down calendar. OK keeps a range whose end is after its start; Cancel
// and the close box leave nothing.
class RangePicker : public QDialog {
    Q_OBJECT
public:
    RangePicker(const Translator& translator, Prompter& prompter, const QDateTime& start, const QDateTime& end,
                QWidget* parent = nullptr);

    // The chosen range once OK closed the window.
    std::optional<DownloadRange> range() const { return range_; }

    // "dd/mm/yy hh:nn"; a two-digit year below 50 is 20yy.
    static QString fieldText(const QDateTime& at);
    static std::optional<QDateTime> readField(const QString& text);

private:
    QWidget* dateField(const char* name, const char* buttonName, const QDateTime& at, QLineEdit** field);
    void dropCalendar(QLineEdit* field, QToolButton* button);
    void confirm();
    // The field's date-time as OK reads it.
    std::optional<QDateTime> fieldValue(const QLineEdit* field) const;

    const Translator& translator_;
    Prompter& prompter_;
    QLineEdit* start_ = nullptr;
    QLineEdit* end_ = nullptr;
    MonthCalendar* calendar_ = nullptr;
    QLineEdit* calendarFor_ = nullptr;
    std::optional<DownloadRange> range_;
    // What the proposal or the calendar last put in each field.
    QHash<const QLineEdit*, QDateTime> setTo_;
};

} // namespace tvq52
