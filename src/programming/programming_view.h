#pragma once

#include "programming/programming_record.h"

namespace tvq52 {

// What the receive and transmit workflows need of the programming window:
// its record, the record loaders, the buttons and the busy panel. The window
// implements it over its fields; the command line over a record in memory.
class ProgrammingView {
public:
    virtual ~ProgrammingView() = default;

    // The record and intervals as the fields hold them now.
    virtual ProgrammingRecord record() const = 0;
    virtual ProgIntervals intervals() const = 0;
    virtual void setModified(bool modified) = 0;
    // Offers to save a modified record (23) before it is replaced. False when
    // the user chose to save and the save failed: the record must stay shown.
    virtual bool offerToSaveChanges() = 0;
    // Runs every field check on the whole record; false, with the fault
    // shown, when one fails: such a record is neither stored nor sent.
    virtual bool checkAllFields() = 0;
    // Saves without asking; false (with the message shown) on failure.
    virtual bool save() = 0;
    // Loads a stored unit into the fields; false when it is not stored.
    virtual bool loadStored(qint32 serial) = 0;
    // Shows a record taken over from the unit: the seconds boxes and the
    // global correction follow `unitFirmware`; the record counts as modified.
    virtual void showReceived(const ProgrammingRecord& record, const ProgIntervals& intervals,
                              const QString& unitFirmware) = 0;
    virtual void setVersion(const QString& version) = 0;
    // Inverts the enabled state of the commands that must wait for the exchange.
    virtual void ToggleCommandButtons() = 0;

    // The busy panel of a transmission.
    virtual void transmissionStarted() {}
    virtual void transmissionProgress(int sent, int total, qint64 msLeft) {}
    virtual void transmissionFinished() {}
};

} // namespace tvq52
