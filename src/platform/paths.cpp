#include "platform/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace paths {

namespace {

qsizetype lastSeparator(const QString& path)
{
    return std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
}

QString withSlash(QString dir)
{
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

} // namespace

QString exeDir()
{
    QString dir =
        QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    return withSlash(dir);
}

QString notesDir()
{
    const QString env = qEnvironmentVariable("FOLIVANT_NOTES_DIR");
    if (!env.isEmpty())
        return withSlash(QDir::cleanPath(env));
    const QString exe = exeDir();
    const QFileInfo info(exe);
    if (info.isWritable())
        return exe + QStringLiteral("Notes/");
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return withSlash(data) + QStringLiteral("folivant/Notes/");
}

QString fileName(const QString& path)
{
    return path.mid(lastSeparator(path) + 1);
}

QString folder(const QString& path)
{
    return path.left(lastSeparator(path) + 1);
}

QString extension(const QString& path)
{
    const QString name = fileName(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

} // namespace paths
