// How every window benchmark starts: on the offscreen platform unless another is asked for,
// with an application and a temporary folder of the run's own, which prepare fills first.
#pragma once

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <functional>

inline int RunWindowBenchmarks(int argc, char **argv,
                               const std::function<bool(const QTemporaryDir &folder)> &prepare) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    QTemporaryDir folder;
    if (!prepare(folder))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
