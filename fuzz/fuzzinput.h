#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// What every harness needs to turn libFuzzer's bytes into the program's inputs.
namespace fuzzinput {

inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// A check that holds for every input: a failure is a fault the fuzzer reports.
inline void require(bool holds)
{
    if (!holds)
        __builtin_trap();
}

} // namespace fuzzinput
