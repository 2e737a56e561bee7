#pragma once

#include <QString>
#include <QStringList>

// Line-based text files as projects store them: written as UTF-8 with CR LF after every
// line (the last one too); read with CR, LF or CR LF as line ends, and read as
// Windows-1252 when the bytes are not valid UTF-8 (files made on Windows).
namespace textfile {

// Decodes bytes as UTF-8, or as Windows-1252 when they are not valid UTF-8.
QString decode(const QByteArray& bytes);

// Encodes text as Windows-1252 when every character has a byte there, and as UTF-8
// otherwise: what a peer on any system reads back with decode().
QByteArray encodeCp1252OrUtf8(const QString& text);

// Cuts text into lines at CR, LF or CR LF. A final line end does not make an empty line.
QStringList splitLines(const QString& text);

// The bytes of a text file: every line as UTF-8 followed by CR LF.
QByteArray encodeLines(const QStringList& lines);

// Reads a file's lines. Returns false (and leaves lines empty) when it cannot be read;
// error receives the system's text for the failure.
bool readLines(const QString& path, QStringList& lines, QString* error = nullptr);

// Writes lines, each followed by CR LF, through a temporary file that replaces the
// target only once everything was written. Returns false with the system's error text
// when the file cannot be written; the file on disk then stays as it was.
bool writeLines(const QString& path, const QStringList& lines, QString* error = nullptr);

} // namespace textfile
