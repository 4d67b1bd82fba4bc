#include "programming/programming_workflow.h"

#include "app/prompter.h"
#include "i18n/loc_guru.h"
#include "link/clock.h"
#include "link/device_link.h"
#include "link/exchange.h"
#include "link/frame.h"
#include "link/line.h"
#include "link/link_state.h"
#include "link/link_timer.h"
#include "link/unit_identity.h"
#include "programming/programming_comparison.h"
#include "programming/programming_view.h"
#include "programming/received_load.h"

namespace tvq52 {

ProgrammingWorkflow::ProgrammingWorkflow(DeviceLink& link, LinkTimer& timer, ProgrammingView& view,
                                         ReceivedProgramming& received)
    : link_(link), timer_(timer), view_(view), received_(received)
{
}

bool ProgrammingWorkflow::receive()
{
    if (!view_.Modificat())
        return false;
    bool received = false;
    const ExchangeHooks hooks{[this] { view_.ToggleCommandButtons(); }, [this] { view_.ToggleCommandButtons(); }};
    runExchange(link_, phoneToDial(), [&] {
        // Ends any transfer the unit may still be running.
        link_.line().write(QByteArray(1, char(kCan)));
        if (!identifyConnectedUnit(link_, timer_))
            return;
        DemanaProgramacio(link_);
        if (!RecibirProgramacion(link_, timer_, received_)) {
            showCatalogue(link_.prompter(), link_.guru(), 62, MessageStyle::Critical);
            return;
        }
        showCatalogue(link_.prompter(), link_.guru(), 61, MessageStyle::Information);
        received = true;
        takeReceived();
    }, hooks);
    return received;
}

QString ProgrammingWorkflow::phoneToDial() const
{
    return phoneOverride_.value_or(view_.record().phone);
}

void ProgrammingWorkflow::takeReceived()
{
    const LinkState& s = link_.state();
    const ProgrammingRecord shown = view_.record();
    if (s.UnitSerial != shown.serial) {
        if (view_.loadStored(s.UnitSerial))
            ComparaPcLrs();
        else
            showNewRecord();
        return;
    }
    if (shown.version != s.UnitFirmware)
        view_.setModified(true);
    view_.setVersion(s.UnitFirmware);
    ComparaPcLrs();
}

void ProgrammingWorkflow::showNewRecord()
{
    const LinkState& s = link_.state();
    ProgrammingRecord header = view_.record();
    header.serial = s.UnitSerial;
    header.date = link_.clock().now().date();
    header.contact = header.venue = header.address = header.town = header.phone = header.note = QString();
    header.version = s.UnitFirmware;
    view_.showReceived(takeOverReceived(header, received_, s.UnitFirmware), received_.intervals, s.UnitFirmware);
}

void ProgrammingWorkflow::CarregaProgLrs()
{
    const QString& firmware = link_.state().UnitFirmware;
    view_.showReceived(takeOverReceived(view_.record(), received_, firmware), received_.intervals, firmware);
}

bool ProgrammingWorkflow::ComparaPcLrs()
{
    comparison_ = comparisonText(view_.record(), view_.intervals(), received_, link_.guru());
    if (comparison_.isEmpty())
        return false;
    const Message question{comparison_, {}, MessageStyle::OkCancelQuestion, 82};
    if (link_.prompter().message(question) == Answer::Ok)
        CarregaProgLrs();
    return true;
}

std::optional<TransmitAnswer> ProgrammingWorkflow::transmit()
{
    if (!view_.checkAllFields())
        return std::nullopt;
    if (view_.record().serial != 0)
        view_.save();
    std::optional<TransmitAnswer> answer;
    const ExchangeHooks hooks{[this] {
                                  view_.ToggleCommandButtons();
                                  view_.transmissionStarted();
                              },
                              [this] {
                                  view_.transmissionFinished();
                                  view_.ToggleCommandButtons();
                              }};
    runExchange(link_, phoneToDial(), [&] { answer = sendToIdentifiedUnit(); }, hooks);
    return answer;
}

std::optional<TransmitAnswer> ProgrammingWorkflow::sendToIdentifiedUnit()
{
    link_.line().write(QByteArray(1, char(kCan)));
    link_.RequestIdentity();
    if (!link_.IdentifyUnit(timer_))
        return std::nullopt;
    const LinkState& s = link_.state();
    Prompter& prompter = link_.prompter();
    const ProgrammingRecord record = view_.record();
    if (s.UnitProgMode != 1) {
        showCatalogue(prompter, link_.guru(), 64, MessageStyle::Critical);
        return std::nullopt;
    }
    if (s.UnitSerial != record.serial) {
        showCatalogue(prompter, link_.guru(), 63, MessageStyle::Information);
        return std::nullopt;
    }
    if (!isTvq52Type(s.UnitType)) {
        showCatalogue(prompter, link_.guru(), 30, MessageStyle::Information);
        return std::nullopt;
    }
    const QByteArray frame = encodeProgrammingFrame(record, view_.intervals(), s.UnitFirmware, link_.clock().now());
    const TransmitAnswer answer = EnviarProgramacion(link_, timer_, frame, [this](int sent, int total, qint64 left) {
        view_.transmissionProgress(sent, total, left);
    });
    if (answer == TransmitAnswer::Accepted)
        showCatalogue(prompter, link_.guru(), 61, MessageStyle::Information);
    else if (answer == TransmitAnswer::NoAnswer)
        showCatalogue(prompter, link_.guru(), 31, MessageStyle::Critical);
    return answer;
}

} // namespace tvq52
