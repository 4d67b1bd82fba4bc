#pragma once

#include "core/error.h"
#include "records/fleet.h"
#include "records/gui/fleet_model.h"

#include <QWidget>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QToolButton;
class QSpinBox;
class QStackedWidget;
class QTableView;

namespace tvq52 {

class Translator;

// The office's units at a glance: a table sorted by urgency, a filter, a
// search and the stale-days setting. It takes its rows from a loader, never
// from the database, and opens the other windows through the callbacks it
// is given.
class FleetView : public QWidget {
    Q_OBJECT
public:
    using Loader = std::function<Result<std::vector<FleetUnit>>(const FleetOptions& options)>;
    // What the menus and a double click open, each for one unit's serial.
    struct Openers {
        std::function<void(qint32)> recordedData;
        std::function<void(qint32)> programming;
        std::function<void(qint32)> graph;
        std::function<void(qint32)> reports;
        std::function<void(qint32)> download;
    };

    FleetView(const Translator& translator, Loader loader, QWidget* parent = nullptr);

    void setOpeners(Openers openers) { openers_ = std::move(openers); }
    // Where the rows come from from now on (a test gives its own).
    void setLoader(Loader loader) { loader_ = std::move(loader); }

    // Loads the rows again, keeping the filter, search, sort and the unit
    // selected. False when the loader failed (its reason is shown instead).
    bool refresh();

    // Puts every text in the language the translator now shows; the window calls it
    // once the language is known, before it gives out access keys.
    void retranslate();

    int staleDays() const;
    void setStaleDays(int days);

    // The serial of the unit on a visible row of the table; 0 for none.
    qint32 serialOnRow(int row) const { return proxy_->serialAt(row); }
    // Opens what the context menu's entry `action` opens for the unit on `row`.
    enum class Action { RecordedData, Programming, Graph, Reports, Download };
    void openForRow(int row, Action action);

    FleetModel* model() const { return model_; }
    FleetFilterModel* proxy() const { return proxy_; }
    QTableView* table() const { return table_; }
    // "N units, M need attention": a window may show it elsewhere (its status bar).
    QLabel* countLabel() const { return count_; }
    // Ctrl+F: the search field, its text selected.
    void focusSearch();

signals:
    // The user changed the stale-days setting.
    void staleDaysChanged(int days);
    // The rows were read or filtered again and the count says so.
    void countShown();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildControls();
    void showCount();
    void showContextMenu(const QPoint& at);
    void fitColumns();
    void say(QObject* object, const char* property, const char* native);

    const Translator& translator_;
    Loader loader_;
    Openers openers_;
    struct Said {
        QObject* object;
        const char* property;
        const char* native;
    };
    std::vector<Said> said_;
    bool loadedOnce_ = false;
    QString failure_;
    FleetModel* model_ = nullptr;
    FleetFilterModel* proxy_ = nullptr;
    QComboBox* filter_ = nullptr;
    QSpinBox* staleDays_ = nullptr;
    QLineEdit* search_ = nullptr;
    QToolButton* refresh_ = nullptr;
    QLabel* count_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QTableView* table_ = nullptr;
    QLabel* emptyHint_ = nullptr;
};

} // namespace tvq52
