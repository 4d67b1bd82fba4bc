#pragma once

#include "reports/recorded_report.h"

#include <QDateTime>
#include <QDialog>
#include <functional>
#include <optional>

class QLineEdit;
class QRadioButton;
class QTableView;

namespace tvq52 {

class Database;
class Translator;
class Prompter;
class RecordGridItems;
class UnitSelection;

// The report window: a report of the shown unit's records whose start lies between the
// interval picked in the first grid and the one picked in the second; either
// can also be typed as a date, which picks its row.
class ReportWindow : public QDialog {
    Q_OBJECT
public:
    // What the window takes from the run.
    struct Needs {
        const Translator& translator;
        Prompter& prompter;
        // The records; null when none are open.
        Database* database = nullptr;
        // Each opening shows the run's current unit.
        const UnitSelection& unit;
        // Read when a report is printed.
        std::function<QString()> footerText;
        std::function<QString()> assetFolder;
        std::function<void()> openHelp;
        // The preview of the laid-out report, opened by the shell.
        std::function<void(const RenderedReport& report, const QString& fileStem, QWidget* over)> openPreview;
    };

    explicit ReportWindow(Needs needs, QWidget* parent = nullptr);

    // Both grids over the unit's intervals, oldest first; the first grid on
    // its oldest row and the second on its newest.
    bool loadUnit(qint32 serial, const QString& firmware);
    RecordGridItems* startGrid() const { return startModel_; }
    RecordGridItems* endGrid() const { return endModel_; }
    QTableView* startView() const { return startView_; }
    QTableView* endView() const { return endView_; }

    void setKind(RecordedReportKind kind);
    RecordedReportKind kind() const;
    // The start of the name a PDF of the report is proposed under.
    QString reportFileStem() const;
    // From the stored date and time of the rows picked; nothing when the
    // first grid has no row picked.
    std::optional<std::pair<QDateTime, QDateTime>> chosenRange() const;

    // SSCommandImprimir: builds the chosen report and hands it to the preview.
    void print();
    // The first grid as a CSV file.
    void exportCsv();

protected:
    void showEvent(QShowEvent* event) override;

private:
    enum class RangeEnd { From, To };
    QTableView* makeGrid(const char* name, RecordGridItems** model);
    // A typed date over a grid: Enter picks the row it names, a picked row
    // shows its start there.
    QLineEdit* makeDateField(const char* name, QTableView* view, RecordGridItems* model, RangeEnd end);
    void goToTyped(QLineEdit* field, QTableView* view, RecordGridItems* model, RangeEnd end);
    std::optional<QDateTime> rowStart(const RecordGridItems* model, int row) const;
    std::optional<QDateTime> pickedStart(const QTableView* view, const RecordGridItems* model) const;

    Needs needs_;
    Prompter& prompter_;
    qint32 serial_ = 0;
    RecordGridItems* startModel_ = nullptr;
    RecordGridItems* endModel_ = nullptr;
    QTableView* startView_ = nullptr;
    QTableView* endView_ = nullptr;
    QLineEdit* startField_ = nullptr;
    QLineEdit* endField_ = nullptr;
    QRadioButton* intervals_ = nullptr;
    QRadioButton* sessions_ = nullptr;
    QRadioButton* exceedances_ = nullptr;
};

} // namespace tvq52
