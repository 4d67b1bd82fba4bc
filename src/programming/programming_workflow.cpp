#include "programming/programming_workflow.h"

#include "core/catalogue_ids.h"
#include "db/server_rights.h"
#include "evidence/journal.h"
#include "i18n/catalogue_message.h"
#include "i18n/translator.h"
#include "link/clock.h"
#include "link/device_link.h"
#include "link/exchange.h"
#include "link/exchange_session.h"
#include "link/frame.h"
#include "link/line.h"
#include "link/link_timer.h"
#include "link/unit_identity.h"
#include "programming/programming_comparison.h"
#include "programming/programming_view.h"
#include "programming/received_load.h"

namespace tvq52 {

bool askToOverwriteProgramming(Prompter& prompter, const Translator& translator, qint32 serial)
{
    QString text = translator.translate(
        QString::fromUtf8("Después de cargarla aquí, otro PC ha guardado la programación del TVQ-52 número %1.\r\n"
                          "¿Sustituirla por la de esta ventana?"));
    text = text.arg(serial);
    return prompter.message(Message{text, {}, MessageStyle::YesNoQuestion, 0, Answer::No}) == Answer::Yes;
}

ProgrammingWorkflow::ProgrammingWorkflow(ExchangeSession& session, Prompter& prompter, const Translator& translator,
                                         ProgrammingView& view, ReceivedProgramming& received)
    : link_(session.link()), timer_(session.timer()), prompter_(prompter), translator_(translator), view_(view), received_(received)
{}

const UnitIdentity& ProgrammingWorkflow::unit() const
{
    return link_.unit();
}

Answer ProgrammingWorkflow::show(int catalogueId, MessageStyle style)
{
    return showCatalogue(prompter_, translator_, catalogueId, style);
}

bool ProgrammingWorkflow::receive()
{
    if (!view_.offerToSaveChanges())
        return false;
    prompter_.clear();
    bool received = false;
    const ExchangeResult exchange = runExchange(
        link_, catalogueAsker(prompter_, translator_), phoneToDial(),
        [&] {
            // Ends any transfer the unit may still be running.
            link_.line().write(QByteArray(1, char(kCan)));
            if (const auto identified = identifyConnectedUnit(link_, timer_); !identified) {
                showFailure(prompter_, translator_, identified.status());
                return;
            }
            requestProgramming(link_);
            if (Status reply = receiveProgrammingReply(link_, timer_, received_); !reply) {
                // A reply that fails on the line is also one that was not received.
                showFailure(prompter_, translator_, reply);
                show(msg::TransmissionError, MessageStyle::Critical);
                return;
            }
            show(msg::TransferDone, MessageStyle::Information);
            received = true;
            takeReceived();
        },
        [this] { view_.ToggleCommandButtons(); });
    if (const Error* error = exchange.errorToShow())
        showError(prompter_, translator_, *error);
    if (exchange.started())
        view_.ToggleCommandButtons();
    record(false, exchange, received);
    return received;
}

void ProgrammingWorkflow::record(bool transmit, const ExchangeResult& exchange, bool succeeded)
{
    if (!journal_)
        return;
    const UnitIdentity& unit = link_.unit();
    JournalOutcome ended = JournalOutcome::Failed;
    if (exchange.outcome == ExchangeOutcome::Cancelled)
        ended = JournalOutcome::Cancelled;
    else if (succeeded)
        ended = JournalOutcome::Completed;
    const QString outcome = journalOutcomeName(ended);
    const qint32 serial = unit.serial != 0 ? unit.serial : view_.record().serial;
    const auto [number, arguments] =
        prompter_.lastSource([this](int id, const QStringList& args) { return translator_.text(id, args); });
    // The exchange has been shown already; a journal that cannot be written
    // does not undo it.
    (void)journal_->append(transmit ? JournalAction::ProgramTransmit : JournalAction::ProgramReceive, serial,
                           link_.settings().modem() ? QStringLiteral("modem") : QStringLiteral("cable"), outcome,
                           prompter_.lastMessage(), number, arguments);
}

QString ProgrammingWorkflow::phoneToDial() const
{
    return phoneOverride_.value_or(view_.record().phone);
}

void ProgrammingWorkflow::takeReceived()
{
    const UnitIdentity& s = link_.unit();
    const ProgrammingRecord shown = view_.record();
    if (s.serial != shown.serial) {
        if (view_.loadStored(s.serial))
            compareWithUnit();
        else
            showNewRecord();
        return;
    }
    if (shown.version != s.firmware)
        view_.setModified(true);
    view_.setVersion(s.firmware);
    compareWithUnit();
}

void ProgrammingWorkflow::showNewRecord()
{
    const UnitIdentity& s = link_.unit();
    ProgrammingRecord header = view_.record();
    header.serial = s.serial;
    header.date = link_.clock().now().date();
    header.contact = header.venue = header.address = header.town = header.phone = header.note = QString();
    header.version = s.firmware;
    view_.showReceived(takeOverReceived(header, received_, s.firmware), received_.intervals, s.firmware);
}

void ProgrammingWorkflow::takeOverFromUnit()
{
    const QString& firmware = link_.unit().firmware;
    view_.showReceived(takeOverReceived(view_.record(), received_, firmware), received_.intervals, firmware);
}

bool ProgrammingWorkflow::compareWithUnit()
{
    comparison_ = comparisonText(view_.record(), view_.intervals(), received_, translator_);
    if (comparison_.isEmpty())
        return false;
    const Message question{comparison_, {}, MessageStyle::OkCancelQuestion, msg::ReplaceWithReceived, {}};
    if (prompter_.message(question) == Answer::Ok)
        takeOverFromUnit();
    return true;
}

std::optional<TransmitAnswer> ProgrammingWorkflow::transmit()
{
    // Asked again here: a role revoked since the window opened stops the
    // transmission before the line is touched.
    if (records_) {
        if (const Status allowed = checkRight(*records_, Operation::ProgramTransmit); !allowed) {
            showError(prompter_, translator_, allowed.error());
            return std::nullopt;
        }
    }
    if (!view_.checkAllFields())
        return std::nullopt;
    if (view_.record().serial != 0)
        view_.save();
    prompter_.clear();
    std::optional<TransmitAnswer> answer;
    const ExchangeResult exchange = runExchange(
        link_, catalogueAsker(prompter_, translator_), phoneToDial(), [&] { answer = sendToIdentifiedUnit(); },
        [this] {
            view_.ToggleCommandButtons();
            view_.transmissionStarted();
        });
    if (const Error* error = exchange.errorToShow())
        showError(prompter_, translator_, *error);
    if (exchange.started()) {
        view_.transmissionFinished();
        view_.ToggleCommandButtons();
    }
    record(true, exchange, answer == TransmitAnswer::Accepted);
    return answer;
}

std::optional<TransmitAnswer> ProgrammingWorkflow::sendToIdentifiedUnit()
{
    link_.line().write(QByteArray(1, char(kCan)));
    link_.RequestIdentity();
    const Result<UnitIdentity> identified = link_.IdentifyUnit(timer_);
    if (!identified) {
        showFailure(prompter_, translator_, identified.status());
        return std::nullopt;
    }
    const UnitIdentity& s = *identified;
    const ProgrammingRecord record = view_.record();
    if (s.progMode != 1) {
        show(msg::NotInProgrammingMode, MessageStyle::Critical);
        return std::nullopt;
    }
    if (s.serial != record.serial) {
        show(msg::WrongUnit, MessageStyle::Information);
        return std::nullopt;
    }
    if (!isTvq52Type(s.type)) {
        show(msg::NotATvq52, MessageStyle::Information);
        return std::nullopt;
    }
    const QByteArray frame = encodeProgrammingFrame(record, view_.intervals(), s.firmware, link_.clock().now());
    const TransmitAnswer answer = sendProgramming(link_, timer_, frame, [this](int sent, int total, qint64 left) {
        view_.transmissionProgress(sent, total, left);
    });
    if (answer == TransmitAnswer::Accepted)
        show(msg::TransferDone, MessageStyle::Information);
    else if (answer == TransmitAnswer::NoAnswer)
        show(msg::TransmissionTimeout, MessageStyle::Critical);
    return answer;
}

} // namespace tvq52
