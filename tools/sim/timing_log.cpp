#include "timing_log.h"

#include "link/frame.h"

#include <QList>
#include <ctime>
#include <map>

namespace tvq52::sim {

qint64 monotonicUs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

bool TimingLog::open(const QString& path, QString* error)
{
    file_.setFileName(path);
    // Unbuffered: a line is in the file as soon as it is written, and the
    // write comes after its time was taken.
    if (file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return true;
    *error = QStringLiteral("cannot write %1: %2").arg(path, file_.errorString());
    return false;
}

void TimingLog::written(qint64 us, const QByteArray& bytes)
{
    lastWrittenUs_ = us;
    const bool frame = bytes.size() >= 4 && std::uint8_t(bytes[0]) == kStx;
    const QByteArray command = frame ? QByteArray(1, bytes[3]).toHex() : QByteArray("--");
    file_.write(QByteArray::number(us) + " sent " + QByteArray::number(++outputs_) + ' '
                + QByteArray::number(bytes.size()) + ' ' + command + '\n');
}

void TimingLog::answered(qint64 us, std::uint8_t byte, bool stillSending)
{
    const qint64 delay = lastWrittenUs_ < 0 ? 0 : us - lastWrittenUs_;
    file_.write(QByteArray::number(us) + (byte == kAck ? " ack " : " can ") + QByteArray::number(outputs_) + ' '
                + QByteArray::number(delay) + (stillSending ? " early\n" : "\n"));
}

namespace {

std::optional<TimingEntry> parseLine(const QByteArray& line)
{
    const QList<QByteArray> f = line.trimmed().split(' ');
    if (f.size() < 4)
        return std::nullopt;
    TimingEntry e;
    bool ok[3] = {false, false, false};
    e.us = f[0].toLongLong(&ok[0]);
    e.output = f[2].toInt(&ok[1]);
    if (f[1] == "sent" && f.size() == 5) {
        e.length = f[3].toInt(&ok[2]);
        bool hex = f[4] == "--";
        if (!hex)
            e.command = f[4].toInt(&hex, 16);
        ok[2] = ok[2] && hex;
    } else if ((f[1] == "ack" || f[1] == "can") && f.size() <= 5) {
        e.kind = f[1] == "ack" ? TimingEntry::Kind::Ack : TimingEntry::Kind::Can;
        e.delayUs = f[3].toLongLong(&ok[2]);
        e.early = f.size() == 5;
        if (e.early && f[4] != "early")
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    if (!ok[0] || !ok[1] || !ok[2])
        return std::nullopt;
    return e;
}

} // namespace

std::optional<std::vector<TimingEntry>> readTimingLog(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    std::vector<TimingEntry> entries;
    for (int n = 1; !file.atEnd(); ++n) {
        const QByteArray line = file.readLine();
        const auto entry = parseLine(line);
        if (!entry) {
            *error = QStringLiteral("%1:%2: not a timing line: %3").arg(path).arg(n).arg(QString::fromLatin1(line));
            return std::nullopt;
        }
        entries.push_back(*entry);
    }
    return entries;
}

std::vector<qint64> ackDelaysAfter(const std::vector<TimingEntry>& log, int command)
{
    std::map<int, int> commands;
    std::vector<qint64> delays;
    for (const TimingEntry& e : log) {
        if (e.kind == TimingEntry::Kind::Sent)
            commands[e.output] = e.command;
        else if (const auto sent = commands.find(e.output);
                 e.kind == TimingEntry::Kind::Ack && !e.early && sent != commands.end() && sent->second == command)
            delays.push_back(e.delayUs);
    }
    return delays;
}

} // namespace tvq52::sim
