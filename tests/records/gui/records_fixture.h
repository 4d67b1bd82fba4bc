#pragma once

#include "app/gui/window_needs.h"
#include "programming/gui/window_fixture.h"
#include "records/gui/record_grid_items.h"
#include "records/gui/recorded_data_window.h"
#include "support/result_checks.h"
#include "support/rows.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableView>

namespace tvq52::test {

// Units and their records in an empty database, and the recorded-data
// window over them.
class RecordsWindowFixture : public WindowFixture {
protected:
    // An interval starting at `start` with the given columns set; the rest
    // are plain values.
    void addInterval(qint32 serial, const QDateTime& start,
                     std::initializer_list<std::pair<const char*, QVariant>> set = {})
    {
        Row r = spanRow(
            serial, start, start.addSecs(120),
            {{"ByTLeq", 2}, {"SLeqLocal", 70.0}, {"SLeqVecino", 30.0}, {"BoRS232", false}, {"BoProgramacion", false}});
        for (const auto& [column, value] : set)
            r.set(QString::fromUtf8(column), value);
        ASSERT_TRUE(test::succeeded(store_->insert(QStringLiteral("Intervalos"), r)));
    }

    void open()
    {
        window_ = std::make_unique<RecordedDataWindow>(recordedDataWindowNeeds(*ctx_, prompter_));
        window_->setBeeper([this] { ++beeps_; });
        window_->resize(1000, 740);
        activate(window_.get());
    }

    RecordGridItems* intervals() { return window_->model(RecordedDataWindow::Intervals); }
    QString cell(int row, const char* field)
    {
        RecordGridItems* m = intervals();
        return m->index(row, m->columnOf(QString::fromLatin1(field))).data().toString();
    }
    QStringList column(const char* field)
    {
        QStringList cells;
        for (int r = 0; r < intervals()->rowCount(); ++r)
            cells << cell(r, field);
        return cells;
    }
    void clickHeader(const char* field)
    {
        const int c = intervals()->columnOf(QString::fromLatin1(field));
        emit window_->view(RecordedDataWindow::Intervals)->horizontalHeader()->sectionClicked(c);
    }
    QString shownSerial() { return child<QLineEdit>(window_.get(), "TextNumeroSerie")->text(); }
    void click(const char* name) { child<QPushButton>(window_.get(), name)->click(); }

    std::unique_ptr<RecordedDataWindow> window_;
    int beeps_ = 0;
};

} // namespace tvq52::test
