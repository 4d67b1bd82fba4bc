#include "programming/programming_transfer.h"

#include "link/clock.h"
#include "link/device_link.h"
#include "link/line.h"
#include "link/link_timer.h"

namespace tvq52 {

void requestProgramming(DeviceLink& link)
{
    for (char c : programmingRequest())
        link.line().write(QByteArray(1, c));
}

Status receiveProgrammingReply(DeviceLink& link, LinkTimer& timer, ReceivedProgramming& into)
{
    if (Status received = link.ReceiveFrame(timer); !received)
        return received;
    const std::span<const std::uint8_t> frame = link.frame();
    if (!decodeProgrammingReply(frame.data(), int(frame.size()), link.unit().firmware, into))
        return Error{};
    return {};
}

TransmitAnswer sendProgramming(DeviceLink& link, LinkTimer& timer, const QByteArray& frame,
                               const TransmitProgress& progress)
{
    Line& line = link.line();
    Clock& clock = link.clock();
    const int total = int(frame.size());
    const int paced = total - 1; // STX to ETX; the check byte follows at once

    timer.setInterval(int(kBytePaceMs));
    for (int k = 0; k < paced; ++k) {
        if (!link.writeHandedOver(frame.mid(k, 1), kSilenceLimitMs)) {
            line.discardOutput();
            timer.setInterval(kSilenceLimitMs);
            return TransmitAnswer::NoAnswer;
        }
        const qint64 due = clock.elapsedNs() + kBytePaceMs * 1000000;
        if (progress)
            progress(k + 1, total, (paced - k) * kBytePaceMs);
        for (qint64 left = due - clock.elapsedNs(); left > 0; left = due - clock.elapsedNs())
            clock.waitFor((left + 999999) / 1000000);
    }
    if (paced >= 0 && total > 0)
        line.write(frame.right(1));
    if (progress)
        progress(total, total, 0);
    timer.setInterval(kSilenceLimitMs);

    clock.waitFor(kAnswerWaitMs, [&] { return line.bytesAvailable() > 0; });
    if (line.bytesAvailable() <= 0)
        return TransmitAnswer::NoAnswer;
    const QByteArray answer = line.read(line.bytesAvailable());
    return answer.startsWith(char(0x06)) ? TransmitAnswer::Accepted : TransmitAnswer::Rejected;
}

} // namespace tvq52
