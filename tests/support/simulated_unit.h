#pragma once

#include "i18n/catalogue_message.h"
#include "i18n/translator.h"
#include "link/clock.h"
#include "link/exchange_session.h"
#include "link/line_settings.h"
#include "link/serial_line.h"
#include "sim_process.h"
#include "support/scripted_prompter.h"

#include <gtest/gtest.h>
#include <memory>

namespace tvq52::test {

// The real serial line, keeping what the link wrote.
class RecordingSerialLine : public SerialLine {
public:
    void write(const QByteArray& bytes) override
    {
        written += bytes;
        SerialLine::write(bytes);
    }
    QByteArray written;
};

// tvq52-sim on a pseudo-terminal and an exchange session over the real
// serial line to it. The clock runs fast; the silence limit is generous so
// that a busy machine gives no false time-out.
struct SimulatedUnit {
    void startSim(QStringList args)
    {
        sim = std::make_unique<sim::SimProcess>(QStringLiteral(TVQ52_BIN_DIR "/tvq52-sim"),
                                                args << QStringLiteral("--verbose"));
        ASSERT_TRUE(sim->start()) << qPrintable(sim->error());
        settings.SerialDevice = sim->devicePath();
    }

    FastClock clock{50.0};
    RecordingSerialLine line;
    ScriptedPrompter prompter;
    Translator translator;
    ExchangeSession session{{}, line, clock, 40000};
    LineSettings& settings = session.settings();
    std::unique_ptr<sim::SimProcess> sim;
};

} // namespace tvq52::test
