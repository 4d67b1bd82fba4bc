#include "link_fixture.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace tvq52;

namespace {

// A recorded exchange: what the PC wrote, what the unit answered, and the
// outcome the link must reach ("ok TYPE FIRMWARE SERIAL MODE" or "message N").
struct Recording {
    QByteArray pc;
    QByteArray unit;
    QStringList expect;
};

Recording load(const QString& path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << qPrintable(path);
    Recording r;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith("# expect:"))
            r.expect = QString::fromLatin1(line.mid(9)).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        else if (line.startsWith("pc"))
            r.pc += QByteArray::fromHex(line.mid(line.indexOf('>') + 1));
        else if (line.startsWith("unit"))
            r.unit += QByteArray::fromHex(line.mid(line.indexOf('>') + 1));
    }
    return r;
}

} // namespace

TEST(RecordedReplies, EachRecordingGivesItsOutcome)
{
    const QDir dir(QStringLiteral(TVQ52_SOURCE_DIR "/tests/fixtures/link"));
    const QStringList files = dir.entryList({QStringLiteral("identify_*.log")}, QDir::Files);
    ASSERT_GE(files.size(), 5);
    for (const QString& name : files) {
        SCOPED_TRACE(qPrintable(name));
        const Recording rec = load(dir.filePath(name));
        ASSERT_EQ(rec.expect.size() >= 2, true);

        test::MemoryLink m;
        m.state.UnitSerial = -1;
        m.line.onWrite([&](const QByteArray&) {
            if (m.line.written() == rec.pc)
                m.line.deliver(rec.unit, 10);
        });
        m.link.RequestIdentity();
        EXPECT_EQ(m.line.written(), rec.pc) << "the request differs from the recorded one";
        const Status ok = m.link.IdentifyUnit(m.timer);

        if (rec.expect.front() == QLatin1String("ok")) {
            ASSERT_TRUE(ok);
            ASSERT_EQ(rec.expect.size(), 5);
            EXPECT_EQ(m.state.UnitType, rec.expect[1].toInt());
            EXPECT_EQ(m.state.UnitFirmware, rec.expect[2]);
            EXPECT_EQ(m.state.UnitSerial, rec.expect[3].toInt());
            EXPECT_EQ(m.state.UnitProgMode, rec.expect[4].toInt());
        } else {
            EXPECT_EQ(test::errorId(ok), rec.expect[1].toInt());
            EXPECT_EQ(m.state.UnitSerial, -1);
        }
    }
}
