#pragma once

#include "core/prompter.h"
#include "core/recording_prompter.h"
#include "programming/programming_block.h"
#include "programming/programming_transfer.h"

#include <optional>

namespace tvq52 {

class DeviceLink;
class ExchangeSession;
class Database;
class Journal;
struct ExchangeResult;
class LinkTimer;
class Translator;
class ProgrammingView;
class Prompter;
struct UnitIdentity;

// Another PC saved unit `serial` since it was loaded here: asks whether to
// replace that save, No the default.
bool askToOverwriteProgramming(Prompter& prompter, const Translator& translator, qint32 serial);

// The receive and transmit exchanges of the programming window, from the
// first prompt to the end of the exchange, which always runs.
class ProgrammingWorkflow {
public:
    // `received` outlives the workflow: a reply overwrites only what it
    // carries, so the earlier language and correction byte stay.
    ProgrammingWorkflow(ExchangeSession& session, Prompter& prompter, const Translator& translator, ProgrammingView& view,
                        ReceivedProgramming& received);

    // SSCommandRecibir: true when a programming was received and decoded.
    bool receive();
    // SSCommandTransmitir: the unit's answer, nothing when no frame was sent
    // (a record that fails a field check is not even saved).
    std::optional<TransmitAnswer> transmit();

    // Takes the received programming into the view.
    void takeOverFromUnit();
    // Shows the differences (82) and takes the received programming over on
    // OK; false when nothing differs and nothing was asked.
    bool compareWithUnit();

    // A number to dial instead of the record's (the command line's --phone);
    // the record keeps its own.
    void overridePhone(const QString& number) { phoneOverride_ = number; }
    // Where each receive and transmit is recorded with how it ended; none: not recorded.
    void setJournal(Journal* journal) { journal_ = journal; }
    // The records whose login must be allowed to transmit; none: no check.
    void setRecords(Database* database) { records_ = database; }

    const ReceivedProgramming& received() const { return received_; }
    // The unit as it identified itself in the last exchange, all zero before.
    const UnitIdentity& unit() const;
    // The last comparison listing, empty when nothing differed.
    const QString& ComparisonText() const { return comparison_; }

private:
    void takeReceived();
    void showNewRecord();
    std::optional<TransmitAnswer> sendToIdentifiedUnit();
    QString phoneToDial() const;
    Answer show(int catalogueId, MessageStyle style);
    void record(bool transmit, const ExchangeResult& exchange, bool succeeded);

    DeviceLink& link_;
    LinkTimer& timer_;
    RecordingPrompter prompter_;
    const Translator& translator_;
    ProgrammingView& view_;
    ReceivedProgramming& received_;
    QString comparison_;
    std::optional<QString> phoneOverride_;
    Journal* journal_ = nullptr;
    Database* records_ = nullptr;
};

} // namespace tvq52
