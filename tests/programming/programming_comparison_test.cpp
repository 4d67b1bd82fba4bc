#include "i18n/translator.h"
#include "link/frame.h"
#include "programming/programming_comparison.h"
#include "programming_samples.h"
#include "support/printers.h"

#include <gtest/gtest.h>

using namespace tvq52;
using test::sampleIntervals;
using test::sampleRecord;

namespace {

const QString kHead = QString(15, ' ') + "PC <-> TVQ52\r\r";
const QString kTail = QString::fromUtf8("\r¿Desea reemplazar la programación existente por la recibida?\r");

// What a unit programmed with `r` sends back.
ReceivedProgramming receivedFor(const ProgrammingRecord& r, const ProgIntervals& intervals, const QString& firmware)
{
    const QByteArray frame = encodeProgrammingFrame(r, intervals, firmware, QDateTime::currentDateTime());
    const QByteArray reply = completeFrame(0x04, frame.mid(10, frame.size() - 12));
    ReceivedProgramming rx;
    EXPECT_TRUE(decodeProgrammingReply(reinterpret_cast<const std::uint8_t*>(reply.constData()), int(reply.size()),
                                       firmware, rx));
    return rx;
}

} // namespace

TEST(ProgrammingComparison, NothingDiffersNothingListedEvenWithOtherIntervalTimes)
{
    Translator translator;
    const ProgrammingRecord r = sampleRecord("4.0");
    const ReceivedProgramming rx = receivedFor(r, sampleIntervals(), "4.0");
    EXPECT_TRUE(comparisonText(r, sampleIntervals(), rx, translator).isEmpty());

    // Only start dates are compared: another end time of interval 5 is no difference.
    ProgIntervals shown = sampleIntervals();
    shown[4].endTime = QStringLiteral("12:00");
    shown[4].startTime = QStringLiteral("13:00");
    EXPECT_TRUE(comparisonText(r, shown, rx, translator).isEmpty());

    // A field text 080 equals a received 80: the record holds numbers.
    ProgrammingRecord seconds = r;
    seconds.venueAction = {ActionType::LeqSeconds, QStringLiteral("05")};
    ReceivedProgramming rx5 = rx;
    rx5.TTipoActuacionLocal = QStringLiteral("Leq5s");
    EXPECT_TRUE(comparisonText(seconds, sampleIntervals(), rx5, translator).isEmpty());
}

TEST(ProgrammingComparison, EachDifferenceIsOneLineInTheTableOrder)
{
    Translator translator;
    const ProgrammingRecord r = sampleRecord("4.0");
    ReceivedProgramming rx = receivedFor(r, sampleIntervals(), "4.0");
    ProgrammingRecord shown = r;
    shown.clockChange = true;
    EXPECT_EQ(comparisonText(shown, sampleIntervals(), rx, translator),
              kHead + QString::fromUtf8("Cambio de hora:\tSí<->No\r") + kTail);

    shown = r;
    shown.language = QStringLiteral("English");
    shown.leqMinutes = 2;
    shown.sessions[0] = {QStringLiteral("20:00"), QStringLiteral("23:00")};
    shown.dayLimitVenue = 80;
    shown.nightStart = QStringLiteral("22:00");
    shown.rings = 1;
    shown.globalCorrection = false;
    shown.octaves[0] = 10.0f;
    shown.continuousPrinting = false;
    shown.neighbourAction = {ActionType::LeqSeconds, QStringLiteral("03")};
    ProgIntervals intervals = sampleIntervals();
    intervals[4].startDay = QStringLiteral("23/12/98");
    intervals[29].startDay = QStringLiteral("01/01/10");
    const QString expected = kHead
        + QString::fromUtf8("Tipo de actuación(recepción):\tLeq3s <-> 0\r"
                            "Idioma: \tEnglish <-> Deutsch\r"
                            "Tiempo de Leq: \t2 <-> 15\r"
                            "Impresión continua: \tNo <-> Sí\r"
                            "Sesión lunes: \t20:00-23:00 <-> --:-----:--\r"
                            "Límite día(emisión): \t80 <-> 95\r"
                            "Empieza horario noche: \t22:00 <-> 23:00\r"
                            "Rings: \t1 <-> 3\r"
                            "ENOS\tNo<->Sí\r"
                            "Octava 31.5Hz: \t10 <-> 12.5\r"
                            "Intervalos inhábiles diferentes:\t  5  30\r")
        + kTail;
    EXPECT_EQ(comparisonText(shown, intervals, rx, translator).toStdString(), expected.toStdString());

    // Before 4.0 the global correction is no part of the comparison.
    shown = r;
    shown.version = QStringLiteral("3.3");
    shown.globalCorrection = !r.globalCorrection;
    EXPECT_TRUE(comparisonText(shown, sampleIntervals(), rx, translator).isEmpty());
}
