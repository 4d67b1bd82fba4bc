#pragma once

#include "db/database.h"
#include "db/store.h"

#include <QString>
#include <QVariantList>
#include <optional>
#include <vector>

namespace tvq52 {

class Database;

// A record source as the engine takes it: SQL with ? and its bound values.
struct RecordSource {
    QString sql;
    QVariantList bound;
};

// One stored non-working interval, its texts as kept ("dd/mm/yy", "hh:nn").
struct StoredNonWorkingInterval {
    int number = 0;
    QString startDate;
    QString startTime;
    QString endDate;
    QString endTime;
};

// What the reports read and write outside their record sources.
class ReportStore {
public:
    explicit ReportStore(Database& database) : store_(database), settings_(database.settingsDatabase()) {}

    // The unit's stored programming; nothing when there is none or on error.
    std::optional<Row> programming(qint32 serial);
    // Its non-working intervals in interval order.
    std::vector<StoredNonWorkingInterval> nonWorkingIntervals(qint32 serial);
    // The settings row keeps the last listing printed: this PC's row, in the
    // data folder's own file even when the records are on a server.
    bool writeMemo(const QString& listing);

    QString lastError() const { return settings_.lastError().isEmpty() ? store_.lastError() : settings_.lastError(); }

    static RecordSource programmingSource(qint32 serial);
    enum class EventDates { Reprogrammed, Erased, BatteryEnd };
    // One of the three event-date lists, oldest first.
    static RecordSource eventDateSource(EventDates list, qint32 serial);

private:
    Store store_;
    Store settings_;
};

} // namespace tvq52
