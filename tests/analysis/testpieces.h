#pragma once

#include <QFile>
#include <QString>
#include <QStringList>
#include <map>
#include <vector>

// The recordings in tests/analysis/data and its corpus folder (made by
// scripts/make-test-pieces) and where their melody notes start. Shared by the tests and the
// benchmark.
struct TestPiece {
    QString audio;             // the recording (Ogg Opus, or the file its table names)
    QString half;              // of a corpus piece: "tune" or "test"
    double start = 0;          // the first bar's start, seconds
    double end = 0;            // the last bar's end, seconds
    std::vector<double> notes; // every melody note's onset, seconds, in order
    // Of a corpus piece, where each melody note's head lies on the engraved page: x and y
    // as shares of the page's width and height, and the page.
    std::vector<double> x, y;
    std::vector<long long> page;
};

// Reads <dir>/<name>.csv; notes stays empty when the table cannot be read.
inline TestPiece loadTestPiece(const QString& dir, const QString& name)
{
    TestPiece piece;
    piece.audio = dir + QLatin1Char('/') + name + QStringLiteral(".opus");
    QFile table(dir + QLatin1Char('/') + name + QStringLiteral(".csv"));
    if (!table.open(QIODevice::ReadOnly | QIODevice::Text))
        return piece;
    while (!table.atEnd()) {
        const QStringList fields =
            QString::fromLatin1(table.readLine()).trimmed().split(QLatin1Char(','));
        if (fields.size() < 2)
            continue;
        const double seconds = fields[1].toDouble();
        if (fields[0] == QLatin1String("start"))
            piece.start = seconds;
        else if (fields[0] == QLatin1String("end"))
            piece.end = seconds;
        else if (fields[0] == QLatin1String("audio"))
            piece.audio = dir + QLatin1Char('/') + fields[1];
        else if (fields[0] == QLatin1String("half"))
            piece.half = fields[1];
        else if (fields[0] == QLatin1String("note")) {
            piece.notes.push_back(seconds);
            if (fields.size() >= 7) {
                piece.x.push_back(fields[4].toDouble());
                piece.y.push_back(fields[5].toDouble());
                piece.page.push_back(fields[6].toLongLong());
            }
        }
    }
    return piece;
}

// The first onset of every bar of the corpus table at `path` (that has one), in bar order:
// where a bar entry belongs. That is the bar's `first` line, the first onset of any voice
// (the accompaniment's downbeat where the melody rests); in a table without them, the bar's
// first melody note.
inline std::vector<double> barStarts(const QString& path)
{
    std::map<int, double> first, melody;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    while (!file.atEnd()) {
        const QStringList f = QString::fromLatin1(file.readLine()).trimmed().split(u',');
        if (f.size() >= 3 && f[0] == QLatin1String("first"))
            first.emplace(f[2].toInt(), f[1].toDouble());
        else if (f.size() >= 3 && f[0] == QLatin1String("note"))
            melody.emplace(f[2].toInt(), f[1].toDouble());
    }
    if (first.empty())
        first = melody;
    std::vector<double> starts;
    for (const auto& [bar, t] : first)
        starts.push_back(t);
    return starts;
}
