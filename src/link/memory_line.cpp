#include "link/memory_line.h"

#include "link/clock.h"

namespace tvq52 {

MemoryLine::MemoryLine(Clock& clock) : clock_(clock) {}

MemoryLine::~MemoryLine() = default;

Status MemoryLine::open()
{
    // As a port that cannot be opened tells it.
    if (!openError_.isEmpty())
        return Error{msg::TransmissionTimeout, QStringLiteral("%1: %2").arg(deviceName(), openError_)};
    open_ = true;
    ++openCount_;
    return {};
}

int MemoryLine::readByte()
{
    if (readAt_ >= input_.size())
        return -1;
    const int b = std::uint8_t(input_.at(readAt_++));
    if (readAt_ == input_.size())
        discardInput();
    return b;
}

QByteArray MemoryLine::read(qint64 maxBytes)
{
    const QByteArray part = input_.mid(readAt_, maxBytes);
    readAt_ += part.size();
    if (readAt_ == input_.size())
        discardInput();
    return part;
}

void MemoryLine::write(const QByteArray& bytes)
{
    if (!open_)
        return;
    written_ += bytes;
    if (responder_)
        responder_(bytes);
}

void MemoryLine::deliver(const QByteArray& bytes, qint64 afterMs)
{
    if (afterMs <= 0) {
        input_ += bytes;
        return;
    }
    clock_.callAfter(
        afterMs, [this, bytes] { input_ += bytes; }, &context_);
}

} // namespace tvq52
