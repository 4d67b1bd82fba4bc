#pragma once

#include "core/prompter.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <functional>

namespace tvq52::bench {

// Answers every prompt as a user who presses Enter.
class QuietPrompter : public Prompter {
public:
    Answer message(const Message&) override { return Answer::Ok; }
    std::optional<QString> input(const QString&, const QString&, const QString& d) override { return d; }
    QString openFile(const QString&, const QStringList&, const QString&) override { return {}; }
    QString saveFile(const QString&, const QStringList&, const QString&) override { return {}; }
};

// A benchmark program's main: windows offscreen, `setup` before the runs.
inline int runBenchmarks(int argc, char** argv, const std::function<void()>& setup = {})
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (setup)
        setup();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace tvq52::bench
