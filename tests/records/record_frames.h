#pragma once

// Record frames for tests: valid frames from the simulator's builders, and
// byte patches to damage them one field at a time.

#include "records/download_frames.h"
#include "sim_options.h"
#include "unit_frames.h"

#include <QByteArray>
#include <QDateTime>
#include <vector>

namespace tvq52::test {

// Local-time stamps, as the simulator builds frames from them.
inline QDateTime at(int y, int mo, int d, int h, int mi)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi));
}

// An interval with every level in range and distinct values throughout.
inline sim::IntervalRecord sampleInterval(const QDateTime& end, int leqMinutes = 15)
{
    sim::IntervalRecord r;
    r.end = end;
    r.disconnections = 1;
    r.passesNeighbour = 12;
    r.passesVenue = 34;
    r.leqNeighbour = 452;
    r.leqVenue = 871;
    r.limitNeighbour = 35;
    r.limitVenue = 95;
    r.leqMinutes = std::uint8_t(leqMinutes);
    r.stats.maxLeq1 = 934;
    r.stats.maxLeq1At = end.addSecs(-120);
    r.stats.minLeq1 = 655;
    r.stats.minLeq1At = end.addSecs(-240);
    r.stats.lfmax = 1012;
    r.stats.lfmaxLimit = 110;
    r.stats.lfmaxPasses = 7;
    r.stats.l1 = 951;
    r.stats.l5 = 902;
    r.stats.l10 = 884;
    r.stats.l50 = 803;
    r.stats.l90 = 701;
    r.dnaMinutes = 3;
    r.enaMinutes = 4;
    r.lineShortMinutes = 5;
    r.rs232 = true;
    return r;
}

inline sim::SessionRecord sampleSession(const QDateTime& start)
{
    sim::SessionRecord s;
    s.start = start;
    s.end = start.addSecs(5 * 3600);
    s.dayLimitVenue = 95;
    s.dayLimitNeighbour = 35;
    s.nightStart = QTime(23, 0);
    s.nightEnd = QTime(7, 30);
    s.nightLimitVenue = 90;
    s.nightLimitNeighbour = 30;
    s.attenuationSeconds = 120;
    s.disconnections = 70000;
    s.passesVenue = 65536;
    s.passesNeighbour = 300;
    s.leq = 887;
    s.stats = sampleInterval(start.addSecs(3600)).stats;
    s.stats.lfmaxPasses = 80000;
    return s;
}

inline QByteArray intervalBytes(const sim::IntervalRecord& r, IntervalLayout layout)
{
    sim::SimOptions o;
    o.firmwareMajor = layout == IntervalLayout::From30 ? 4 : 2;
    return sim::intervalFrame(r, o);
}

inline QByteArray sessionBytes(const sim::SessionRecord& s)
{
    return sim::sessionFrame(s);
}

inline void put16(QByteArray& frame, int offset, int value)
{
    frame[offset] = char((value >> 8) & 0xFF);
    frame[offset + 1] = char(value & 0xFF);
}

inline void put24(QByteArray& frame, int offset, int value)
{
    frame[offset] = char((value >> 16) & 0xFF);
    put16(frame, offset + 1, value);
}

// The decoders get exactly the frame's bytes on the heap, so that a read
// past the end shows under the sanitizers.
inline DecodedRecord<IntervalRecord> decodeIntervalBytes(const QByteArray& frame, IntervalLayout layout,
                                                         const QDateTime& rangeStart = {})
{
    const std::vector<std::uint8_t> bytes(frame.begin(), frame.end());
    return decodeInterval(bytes.data(), int(bytes.size()), layout, rangeStart);
}

inline DecodedRecord<SessionRecord> decodeSessionBytes(const QByteArray& frame, const QDateTime& rangeStart = {})
{
    const std::vector<std::uint8_t> bytes(frame.begin(), frame.end());
    return decodeSession(bytes.data(), int(bytes.size()), rangeStart);
}

} // namespace tvq52::test
