#pragma once

#include "programming/programming_store.h"
#include "programming/programming_view.h"

namespace tvq52 {

class Translator;
class Prompter;
class Store;

// A programming record held in memory, loaded from and saved to the store
// like the window does it: the view of the command line and of the tests.
class RecordSheet : public ProgrammingView {
public:
    // Without a store nothing is stored: loads fail and saves do nothing.
    RecordSheet(Store* store, Prompter& prompter, const Translator& translator);

    ProgrammingRecord record() const override { return record_; }
    ProgIntervals intervals() const override { return intervals_; }
    void setModified(bool modified) override { modified_ = modified; }
    bool offerToSaveChanges() override;
    bool checkAllFields() override;
    bool save() override;
    bool loadStored(qint32 serial) override;
    void showReceived(const ProgrammingRecord& record, const ProgIntervals& intervals,
                      const QString& unitFirmware) override;
    void setVersion(const QString& version) override { record_.version = version; }
    void ToggleCommandButtons() override
    {
        commandsEnabled_ = !commandsEnabled_;
        ++toggles_;
    }
    void transmissionStarted() override { busy_ = true; }
    void transmissionProgress(int sent, int total, qint64 msLeft) override;
    void transmissionFinished() override { busy_ = false; }

    // Replaces the record shown, as a new record or a browse would.
    void setRecord(const ProgrammingRecord& record, const ProgIntervals& intervals);
    bool isModified() const { return modified_; }
    bool commandsEnabled() const { return commandsEnabled_; }
    int toggles() const { return toggles_; }
    bool isBusy() const { return busy_; }
    int bytesSent() const { return sent_; }
    int progressCalls() const { return progressCalls_; }

private:
    Store* store_;
    LoadedProgramming loaded_;
    Prompter& prompter_;
    const Translator& translator_;
    ProgrammingRecord record_;
    ProgIntervals intervals_;
    bool modified_ = false;
    bool commandsEnabled_ = true;
    bool busy_ = false;
    int toggles_ = 0;
    int sent_ = 0;
    int progressCalls_ = 0;
};

} // namespace tvq52
