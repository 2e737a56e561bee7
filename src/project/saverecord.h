#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The save record of one project save: which target each new file replaces, where that
// new file waits, and its size and checksum. A record only describes a save whose files
// are all there with exactly that content, so a stale record, or one copied ahead of its
// files, is never applied.
namespace saverecord {

struct Entry {
    QString target;  // the file the save replaces, relative to the project's folder
    QString pending; // where its new content waits, relative to the project's folder
    qint64 size = 0;
    QByteArray checksum; // SHA-256 of the new content, in hex
};

// The record as text lines, and back; nullopt for lines that are no complete record.
QStringList toLines(const std::vector<Entry>& entries);
std::optional<std::vector<Entry>> fromLines(const QStringList& lines);

// SHA-256 of bytes in hex, as a record holds it.
QByteArray checksumOf(const QByteArray& bytes);

// True when the file at path holds exactly size bytes with that checksum.
bool fileMatches(const QString& path, qint64 size, const QByteArray& checksum);

} // namespace saverecord
