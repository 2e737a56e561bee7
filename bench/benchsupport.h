#pragma once

#include <QApplication>
#include <benchmark/benchmark.h>
#include <clocale>

// Benchmarks that touch widgets run inside a QApplication on the offscreen platform.
#define FOLIVANT_BENCHMARK_MAIN()                                                                  \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                        \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                               \
        QApplication app(argc, argv);                                                              \
        std::setlocale(LC_NUMERIC, "C");                                                           \
        ::benchmark::Initialize(&argc, argv);                                                      \
        ::benchmark::RunSpecifiedBenchmarks();                                                     \
        ::benchmark::Shutdown();                                                                   \
        return 0;                                                                                  \
    }
