#pragma once

#include <QObject>
#include <QString>

namespace tvq52 {

// The unit the windows show: the one last loaded or identified by any of
// them. The shell owns it; a window that opens shows it, and a window that
// loads another unit selects that one.
class UnitSelection : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // 0 when no unit was shown yet this run.
    qint32 current() const { return serial_; }
    // The firmware the unit was last known by, as stored or as it answered.
    const QString& firmware() const { return firmware_; }

    void select(qint32 serial, const QString& firmware)
    {
        const bool other = serial != serial_;
        serial_ = serial;
        firmware_ = firmware;
        if (other)
            emit changed(serial);
    }

signals:
    void changed(qint32 serial);

private:
    qint32 serial_ = 0;
    QString firmware_;
};

} // namespace tvq52
