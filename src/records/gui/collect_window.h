#pragma once

#include "records/collect_round.h"

#include <QDialog>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace tvq52 {

class Translator;

// A collect round started from the windows: a row per listed unit with the
// line that calls it and how its call ended, the lines' messages, Stop, and
// the count collected at the end. Lines that name no serial number are
// shown refused and never dealt.
class CollectWindow : public QDialog {
    Q_OBJECT
public:
    CollectWindow(const Translator& translator, const QList<CollectItem>& items, const QStringList& devices,
                  LineWorkers workers, QWidget* parent = nullptr);

    void start();
    bool isRunning() const { return round_->isRunning(); }
    QTableWidget* table() const { return table_; }
    QLabel* summary() const { return summary_; }

signals:
    void roundFinished();

protected:
    // Closing mid-round stops it; the window stays until the lines are done.
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    int rowOf(int index) const;
    void setCells(int row, const QStringList& cells);
    void showTaken(int index, const QString& device);
    void showUnit(const CollectedUnit& unit);
    void showEnd();
    void log(const QString& text);

    const Translator& translator_;
    QList<CollectItem> items_;
    QList<CollectedUnit> refused_;
    std::vector<bool> settled_; // per row: its unit has its outcome
    CollectRound* round_ = nullptr;
    QTableWidget* table_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
    QLabel* summary_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* close_ = nullptr;
};

} // namespace tvq52
