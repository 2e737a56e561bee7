#include "analysis/audiodecoder.h"
#include "analysis/onsetalignment.h"
#include "analysis/onsetdetector.h"
#include "analysis/testpieces.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/resource.h>

namespace {

const QString kData = QStringLiteral(FOLIVANT_ANALYSIS_DATA);

// The onset nearest each note.
std::vector<double> nearest(const std::vector<double>& notes, const std::vector<Onset>& onsets)
{
    std::vector<double> out;
    for (const double t : notes)
        out.push_back(
            std::min_element(onsets.begin(), onsets.end(), [t](const Onset& a, const Onset& b) {
                return std::abs(a.time - t) < std::abs(b.time - t);
            })->time);
    return out;
}

bool ffmpeg(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-nostdin"), QStringLiteral("-v"),
                                                  QStringLiteral("error"), QStringLiteral("-y")} +
                                          args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

TEST(OnsetDetection, FindsTheMelodyNotesOfThePieces)
{
    for (const char* name : {"rubato", "accompanied"}) {
        SCOPED_TRACE(name);
        const TestPiece piece = loadTestPiece(kData, QString::fromLatin1(name));
        ASSERT_FALSE(piece.notes.empty());
        std::vector<double> progress;
        const OnsetDetection found =
            detectOnsets(piece.audio, [&](double p) { progress.push_back(p); });
        ASSERT_TRUE(found.ok()) << qPrintable(found.error);
        EXPECT_NEAR(found.duration, piece.end + 1, 0.1);
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        EXPECT_EQ(progress.back(), 1.0);

        ASSERT_FALSE(found.onsets.empty());
        const auto at = nearest(piece.notes, found.onsets);
        double total = 0;
        for (std::size_t i = 0; i < at.size(); ++i) {
            EXPECT_NEAR(at[i], piece.notes[i], 0.030) << "note " << i;
            total += std::abs(at[i] - piece.notes[i]);
        }
        EXPECT_LT(total / static_cast<double>(at.size()), 0.010);
        // The accompaniment adds onsets, but not without bound.
        EXPECT_LE(found.onsets.size(), 2 * piece.notes.size() + 5);
    }
}

TEST(OnsetDetection, EveryFormatGivesTheSameOnsets)
{
    const TestPiece piece = loadTestPiece(kData, QStringLiteral("accompanied"));
    const OnsetDetection reference = detectOnsets(piece.audio);
    ASSERT_TRUE(reference.ok());
    const auto expected = nearest(piece.notes, reference.onsets);

    // Each made from the piece ("in"); the last a video whose sound starts 2 s in.
    const QString in = QStringLiteral("in");
    const struct {
        const char* extension;
        QStringList args;
        double shift;
    } formats[] = {
        {"wav", {QStringLiteral("-i"), in, QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")}, 0},
        {"flac", {QStringLiteral("-i"), in, QStringLiteral("-c:a"), QStringLiteral("flac")}, 0},
        {"ogg",
         {QStringLiteral("-i"), in, QStringLiteral("-c:a"), QStringLiteral("libvorbis"),
          QStringLiteral("-ac"), QStringLiteral("2")},
         0},
        {"m4a",
         {QStringLiteral("-i"), in, QStringLiteral("-c:a"), QStringLiteral("aac"),
          QStringLiteral("-ar"), QStringLiteral("44100")},
         0},
        {"mp3",
         {QStringLiteral("-i"), in, QStringLiteral("-c:a"), QStringLiteral("libmp3lame"),
          QStringLiteral("-ar"), QStringLiteral("44100")},
         0},
        {"mp4",
         {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
          QStringLiteral("color=c=white:s=64x64:r=5"), QStringLiteral("-itsoffset"),
          QStringLiteral("2"), QStringLiteral("-i"), in, QStringLiteral("-map"),
          QStringLiteral("0"), QStringLiteral("-map"), QStringLiteral("1"), QStringLiteral("-t"),
          QStringLiteral("33"), QStringLiteral("-c:a"), QStringLiteral("aac")},
         2},
    };
    QTemporaryDir dir;
    for (const auto& format : formats) {
        SCOPED_TRACE(format.extension);
        const QString file =
            dir.filePath(QStringLiteral("piece.") + QLatin1String(format.extension));
        QStringList args = format.args;
        args.replace(args.indexOf(in), piece.audio);
        ASSERT_TRUE(ffmpeg(args << file));
        const OnsetDetection found = detectOnsets(file);
        ASSERT_TRUE(found.ok()) << qPrintable(found.error);
        std::vector<double> shifted;
        for (const double t : piece.notes)
            shifted.push_back(t + format.shift);
        const auto at = nearest(shifted, found.onsets);
        for (std::size_t i = 0; i < at.size(); ++i)
            EXPECT_NEAR(at[i], expected[i] + format.shift, 0.004) << "note " << i;
    }
}

TEST(OnsetDetection, SoundStartingAnHourInIsNotHeldAsSilence)
{
    // A few kilobytes whose audio stream starts 3000 s after its picture stream: the
    // silence before the sound is handed out, not built in memory (265 MB at 22050 Hz).
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("late.mkv"));
    ASSERT_TRUE(ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                        QStringLiteral("color=s=16x16:d=0.2:r=5"), QStringLiteral("-itsoffset"),
                        QStringLiteral("3000"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                        QStringLiteral("-i"), QStringLiteral("sine=d=0.3:sample_rate=8000"),
                        QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-c:a"),
                        QStringLiteral("pcm_s16le"), file}));
    const auto peakKiB = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    };
    AudioDecoder decoder(22050);
    ASSERT_TRUE(decoder.open(file)) << qPrintable(decoder.errorText());
    const long before = peakKiB();
    std::vector<float> block(4096, 1.0f);
    ASSERT_EQ(decoder.read(block.data(), block.size()), block.size());
    EXPECT_EQ(std::count(block.begin(), block.end(), 0.0f), 4096);
    EXPECT_LT(peakKiB() - before, 64 * 1024);
}

TEST(OnsetDetection, FilesWithoutSoundGiveAMessage)
{
    QTemporaryDir dir;
    const OnsetDetection missing = detectOnsets(dir.filePath(QStringLiteral("gone.mp3")));
    EXPECT_TRUE(missing.error.contains(QStringLiteral("not found"))) << qPrintable(missing.error);

    QFile noise(dir.filePath(QStringLiteral("noise.mp3")));
    ASSERT_TRUE(noise.open(QIODevice::WriteOnly));
    for (int i = 0; i < 16384; ++i) {
        const quint32 word = QRandomGenerator::global()->generate();
        noise.write(reinterpret_cast<const char*>(&word), sizeof word);
    }
    noise.close();
    const OnsetDetection random = detectOnsets(noise.fileName());
    EXPECT_FALSE(random.error.isEmpty());
    EXPECT_TRUE(random.onsets.empty());

    const QString picture = dir.filePath(QStringLiteral("page.png"));
    ASSERT_TRUE(ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                        QStringLiteral("color=c=white:s=64x64"), QStringLiteral("-frames:v"),
                        QStringLiteral("1"), picture}));
    const OnsetDetection silent = detectOnsets(picture);
    EXPECT_TRUE(silent.error.contains(QStringLiteral("no audio stream")))
        << qPrintable(silent.error);
}

TEST(OnsetDetection, DamagedFramesAreSkipped)
{
    const TestPiece piece = loadTestPiece(kData, QStringLiteral("rubato"));
    QTemporaryDir dir;
    const QString flac = dir.filePath(QStringLiteral("damaged.flac"));
    ASSERT_TRUE(ffmpeg({QStringLiteral("-i"), piece.audio, flac}));
    QFile file(flac);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(file.size() / 2);
    file.write(QByteArray(4000, 'x'));
    file.close();
    const OnsetDetection found = detectOnsets(flac);
    ASSERT_TRUE(found.ok()) << qPrintable(found.error);
    EXPECT_GT(found.duration, piece.end);
    EXPECT_GE(found.onsets.size(), piece.notes.size() - 2);
}

TEST(OnsetDetection, CancelStopsEarly)
{
    const TestPiece piece = loadTestPiece(kData, QStringLiteral("rubato"));
    std::atomic<bool> cancel{false};
    const OnsetDetection found = detectOnsets(
        piece.audio, [&](double p) { cancel = cancel || p > 0.2; }, &cancel);
    EXPECT_TRUE(found.cancelled);
    EXPECT_FALSE(found.ok());
    EXPECT_LT(found.duration, 0.5 * piece.end);
}

TEST(OnsetDetection, ANoteAtTheFirstSampleIsAsStrongAnOnsetAsTheOthers)
{
    // The piece cut at its first note: no silence before the music.
    const TestPiece piece = loadTestPiece(kData, QStringLiteral("rubato"));
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("at-once.wav"));
    ASSERT_TRUE(ffmpeg({QStringLiteral("-ss"), QString::number(piece.notes.front(), 'f', 4),
                        QStringLiteral("-i"), piece.audio, wav}));
    const OnsetDetection found = detectOnsets(wav);
    ASSERT_TRUE(found.ok()) << qPrintable(found.error);
    ASSERT_GT(found.onsets.size(), 10u);
    EXPECT_LT(found.onsets.front().time, 0.010);
    std::vector<double> strengths;
    for (const Onset& o : found.onsets)
        strengths.push_back(o.strength);
    std::nth_element(strengths.begin(), strengths.begin() + strengths.size() / 2, strengths.end());
    EXPECT_GT(found.onsets.front().strength, 0.5 * strengths[strengths.size() / 2]);

    // An even spread from that first note keeps its first entry on it.
    std::vector<double> even;
    const double end = piece.end - piece.notes.front();
    for (std::size_t i = 0; i < piece.notes.size(); ++i)
        even.push_back(static_cast<double>(i) * end / static_cast<double>(piece.notes.size()));
    const auto aligned = onsetalignment::align(even, found.onsets);
    ASSERT_TRUE(aligned.ok());
    EXPECT_LT(aligned.times.front(), 0.010);
    EXPECT_NEAR(aligned.times[1], piece.notes[1] - piece.notes.front(), 0.030);
}

TEST(OnsetDetection, SoftBowedAttacksAreFound)
{
    // A slurred violin melody over soft piano chords (a tuning piece of the corpus): the
    // high-frequency content alone finds almost none of its attacks.
    const TestPiece piece =
        loadTestPiece(kData + QStringLiteral("/corpus"), QStringLiteral("violin-slurred"));
    ASSERT_FALSE(piece.notes.empty());
    const auto recall = [&](const OnsetSettings& settings) {
        const OnsetDetection found = detectOnsets(piece.audio, {}, nullptr, settings);
        EXPECT_TRUE(found.ok()) << qPrintable(found.error);
        const auto at = nearest(piece.notes, found.onsets);
        double hits = 0;
        for (std::size_t i = 0; i < at.size(); ++i)
            hits += std::abs(at[i] - piece.notes[i]) <= 0.030 ? 1 : 0;
        return hits / static_cast<double>(at.size());
    };
    OnsetSettings hardOnly;
    hardOnly.softMethod = nullptr;
    hardOnly.pitch = false;
    EXPECT_LT(recall(hardOnly), 0.1);
    EXPECT_GT(recall(OnsetSettings{}), 0.4);
}

TEST(OnsetDetection, AnEvenSpreadIsSureOnlyOfAPathItsTempoHolds)
{
    // Tuning pieces of the corpus marked by an even spread alone (no boxes' places): over an
    // oboe's runs on piano eighths the cheapest path takes the wrong notes, and must not
    // call them sure; over a plain guitar melody it takes the right ones, all sure.
    for (const auto& [name, right] : {std::pair{"oboe-runs", false}, {"guitar-plain", true}}) {
        SCOPED_TRACE(name);
        const TestPiece piece =
            loadTestPiece(kData + QStringLiteral("/corpus"), QString::fromLatin1(name));
        ASSERT_FALSE(piece.notes.empty());
        const OnsetDetection found = detectOnsets(piece.audio);
        ASSERT_TRUE(found.ok());
        const auto n = piece.notes.size();
        std::vector<double> even;
        for (std::size_t i = 0; i < n; ++i)
            even.push_back(
                std::round((piece.start + static_cast<double>(i) * (piece.end - piece.start) /
                                              static_cast<double>(n)) *
                           100) /
                100);
        const auto aligned = onsetalignment::align(even, found.onsets);
        ASSERT_TRUE(aligned.ok());
        std::size_t sureWrong = 0;
        for (std::size_t i = 0; i < n; ++i)
            sureWrong += aligned.onOnset[i] && std::abs(aligned.times[i] - piece.notes[i]) > 0.030;
        EXPECT_LE(sureWrong, n / 20);
        EXPECT_EQ(2 * static_cast<std::size_t>(aligned.matched) >= n, right);
    }
}
