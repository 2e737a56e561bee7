#include "authoring/newproject.h"

#include "platform/paths.h"

#include <QDir>
#include <QRegularExpression>

namespace newproject {

const QString kNameRefused =
    QStringLiteral("Please enter a project name that stays inside the Notes folder.");

const QString kManualTips = QStringLiteral(
    "Almost Finished!\n\nNow we need to 'Teach' Folivant to show us the marker at the right "
    "Time&Place.\n\nPlay the song and click on the beginning of each notes-box, at the right "
    "time.\nClick 'Save' when done.\n\n\n* Try using the 'Pre-Click' option to easily time your "
    "clicks.\n\n* You can use the keyboard shortcut 'SPACE' to play and pause.\n* You can add "
    "TEXT to markers by pressing 'TAB' - then when finished press 'Enter'.\n* 'Right Arrow' - "
    "Next Page");

QString proposedName(const QString& audioPath)
{
    const QString name = paths::fileName(audioPath);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

QString fileNamePart(const QString& projectName)
{
    return paths::fileName(projectName);
}

QString projectFolder(const QString& notesDir, const QString& projectName)
{
    if (projectName.trimmed().isEmpty())
        return {};
    QString relative = projectName;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    // An absolute path, on this system or as typed on Windows ("C:..." or "\\server").
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:"));
    if (relative.startsWith(QLatin1Char('/')) || QDir::isAbsolutePath(relative) ||
        drive.match(relative).hasMatch())
        return {};
    const QStringList parts = relative.split(QLatin1Char('/'));
    for (const QString& part : parts) {
        if (part == QLatin1String(".."))
            return {};
    }
    const QString last = parts.last();
    if (last.trimmed().isEmpty() || last == QLatin1String("."))
        return {};
    QString base = notesDir;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    const QString folder = QDir::cleanPath(base + relative) + QLatin1Char('/');
    // Belt and braces: whatever the parts were, the folder lies below the Notes folder.
    if (!folder.startsWith(QDir::cleanPath(base) + QLatin1Char('/')) ||
        QDir::cleanPath(folder) == QDir::cleanPath(base))
        return {};
    return folder;
}

bool isCdTrack(const QString& audioPath)
{
    return paths::extension(audioPath) == QLatin1String(".cda");
}

QStringList projectLines(const QString& audioPath, const QString& dirPath, const QString& name,
                         const QStringList& images)
{
    QStringList lines;
    lines << QStringLiteral("AudioFile=") + paths::fileName(audioPath)
          << QStringLiteral("SourceAudioFile=") + audioPath << QStringLiteral("DirPath=") + dirPath
          << QStringLiteral("FileName=") + name
          << QStringLiteral("NotesDataFile=") + name + QStringLiteral(".ntf")
          << (isCdTrack(audioPath) ? QStringLiteral("UseLocal=false")
                                   : QStringLiteral("UseLocal=true"));
    for (qsizetype k = 0; k < images.size(); ++k)
        lines << QStringLiteral("NotesFile") + QString::number(k) + QLatin1Char('=') +
                     paths::fileName(images[k]);
    lines << QStringLiteral("NotesAmount=") + QString::number(images.size());
    return lines;
}

} // namespace newproject
