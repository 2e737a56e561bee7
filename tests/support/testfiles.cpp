#include "support/testfiles.h"

#include "project/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace testfiles {

bool run(const QString& program, const QStringList& args, QString* log)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForStarted(10000)) {
        if (log)
            *log = QStringLiteral("cannot start ") + program;
        return false;
    }
    p.waitForFinished(120000);
    const QString out = QString::fromLocal8Bit(p.readAll());
    if (log)
        *log = out;
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString makeTone(const QString& dir, const QString& fileName, double seconds, int frequency)
{
    const QString path = QDir(dir).filePath(fileName);
    QStringList args{QStringLiteral("-y"),
                     QStringLiteral("-loglevel"),
                     QStringLiteral("error"),
                     QStringLiteral("-f"),
                     QStringLiteral("lavfi"),
                     QStringLiteral("-i"),
                     QStringLiteral("sine=frequency=%1:sample_rate=44100:duration=%2")
                         .arg(frequency)
                         .arg(seconds)};
    if (fileName.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive))
        args << QStringLiteral("-codec:a") << QStringLiteral("libmp3lame") << QStringLiteral("-b:a")
             << QStringLiteral("128k");
    else if (fileName.endsWith(QLatin1String(".wma"), Qt::CaseInsensitive))
        args << QStringLiteral("-codec:a") << QStringLiteral("wmav2") << QStringLiteral("-b:a")
             << QStringLiteral("128k");
    else if (fileName.endsWith(QLatin1String(".ogg"), Qt::CaseInsensitive))
        args << QStringLiteral("-codec:a") << QStringLiteral("libvorbis");
    else if (fileName.endsWith(QLatin1String(".opus"), Qt::CaseInsensitive))
        args << QStringLiteral("-codec:a") << QStringLiteral("libopus") << QStringLiteral("-b:a")
             << QStringLiteral("96k");
    else if (fileName.endsWith(QLatin1String(".m4a"), Qt::CaseInsensitive) ||
             fileName.endsWith(QLatin1String(".aac"), Qt::CaseInsensitive))
        args << QStringLiteral("-codec:a") << QStringLiteral("aac") << QStringLiteral("-b:a")
             << QStringLiteral("128k");
    args << path;
    return run(QStringLiteral("ffmpeg"), args) ? path : QString();
}

QString makeImage(const QString& dir, const QString& fileName, int width, int height,
                  const QStringList& extra)
{
    const QString path = QDir(dir).filePath(fileName);
    QStringList args{QStringLiteral("-size"),
                     QStringLiteral("%1x%2").arg(width).arg(height),
                     QStringLiteral("xc:white"),
                     QStringLiteral("-fill"),
                     QStringLiteral("black"),
                     QStringLiteral("-draw"),
                     QStringLiteral("rectangle %1,%2 %3,%4")
                         .arg(width / 10)
                         .arg(height / 10)
                         .arg(width / 5)
                         .arg(height / 5)};
    args << extra << path;
    return run(QStringLiteral("convert"), args) ? path : QString();
}

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write(bytes);
    return path;
}

TempNotes::TempNotes()
    : m_old(qgetenv("FOLIVANT_NOTES_DIR"))
    , m_hadOld(qEnvironmentVariableIsSet("FOLIVANT_NOTES_DIR"))
{
    // The Notes folder is a folder of its own inside the temporary one, so that what
    // lies beside it is this test's alone.
    QDir().mkpath(path());
    qputenv("FOLIVANT_NOTES_DIR", (m_dir.path() + QStringLiteral("/Notes")).toLocal8Bit());
}

TempNotes::~TempNotes()
{
    if (m_hadOld)
        qputenv("FOLIVANT_NOTES_DIR", m_old);
    else
        qunsetenv("FOLIVANT_NOTES_DIR");
}

QString TempNotes::path() const
{
    return m_dir.path() + QStringLiteral("/Notes/");
}

QString makeProject(const QString& notesDir, const ProjectLayout& layout)
{
    const QString folder = QDir(notesDir).filePath(layout.name) + QLatin1Char('/');
    QDir().mkpath(folder);
    QStringList lines;
    const QString audioName =
        layout.audio.isEmpty() ? QStringLiteral("none.wav") : QFileInfo(layout.audio).fileName();
    lines << QStringLiteral("AudioFile=") + audioName
          << QStringLiteral("SourceAudioFile=") +
                 (layout.audio.isEmpty() ? folder + audioName : layout.audio)
          << QStringLiteral("DirPath=") << QStringLiteral("FileName=") + layout.name
          << QStringLiteral("NotesDataFile=") + layout.name + QStringLiteral(".ntf")
          << QStringLiteral("UseLocal=true");
    for (qsizetype k = 0; k < layout.pages.size(); ++k) {
        lines << QStringLiteral("NotesFile%1=%2").arg(k).arg(layout.pages[k]);
        if (!QFileInfo::exists(folder + layout.pages[k]))
            makeImage(folder, layout.pages[k], 600, 800);
    }
    lines << QStringLiteral("NotesAmount=%1").arg(layout.pages.size());
    lines << layout.extraLines;
    if (!layout.audio.isEmpty() && !QFileInfo::exists(folder + audioName))
        QFile::copy(layout.audio, folder + audioName);
    const QString nts = folder + layout.name + QStringLiteral(".nts");
    textfile::writeLines(nts, lines);
    if (layout.writeNtf)
        textfile::writeLines(folder + layout.name + QStringLiteral(".ntf"), layout.entries);
    return nts;
}

} // namespace testfiles
