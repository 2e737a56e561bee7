#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
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

// Harnesses whose input is several files cut it at this line; fuzz/make-seeds writes the
// same separator between the files of a seed.
inline constexpr char separator[] = "\n--folivant-fuzz--\n";

// input cut at each separator into at most maxParts parts (the last part keeps any
// further separators).
inline QList<QByteArray> parts(const QByteArray& input, int maxParts)
{
    const QByteArray sep(separator);
    QList<QByteArray> out;
    qsizetype from = 0;
    while (out.size() < maxParts - 1) {
        const qsizetype at = input.indexOf(sep, from);
        if (at < 0)
            break;
        out << input.mid(from, at - from);
        from = at + sep.size();
    }
    out << input.mid(from);
    return out;
}

// Where the harnesses that read files make their temporary folders: memory-backed when
// the system has such a folder, so that the files cost no disk writes.
inline QString temporaryBase()
{
    return QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                     : QDir::tempPath();
}

inline bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// A value from a project file that names a file in the project folder itself (no folder
// part): only such names are written by the harnesses.
inline bool plainName(const QString& name)
{
    return !name.isEmpty() && name.size() < 200 && name != QLatin1String(".") &&
           name != QLatin1String("..") && !name.contains(QLatin1Char('/')) &&
           !name.contains(QChar(0));
}

} // namespace fuzzinput
