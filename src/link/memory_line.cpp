#include "link/memory_line.h"

#include "link/clock.h"

#include <QTimer>

namespace tvq52 {

MemoryLine::MemoryLine(Clock& clock) : clock_(clock) {}

MemoryLine::~MemoryLine() = default;

bool MemoryLine::open()
{
    if (!openError_.isEmpty())
        return false;
    open_ = true;
    ++openCount_;
    return true;
}

int MemoryLine::readByte()
{
    if (input_.isEmpty())
        return -1;
    const int b = std::uint8_t(input_.at(0));
    input_.remove(0, 1);
    return b;
}

QByteArray MemoryLine::read(qint64 maxBytes)
{
    const QByteArray part = input_.left(maxBytes);
    input_.remove(0, part.size());
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
    QTimer::singleShot(int(clock_.realMs(afterMs)), Qt::PreciseTimer, &context_, [this, bytes] { input_ += bytes; });
}

} // namespace tvq52
