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

QString notesDirFor(const QString& exeDir, bool exeDirWritable, const QString& notesEnv,
                    const QString& xdgDataHome, const QString& home)
{
    if (!notesEnv.isEmpty())
        return withSlash(QDir::cleanPath(notesEnv));
    if (exeDirWritable)
        return withSlash(exeDir) + QStringLiteral("Notes/");
    const QString data =
        xdgDataHome.isEmpty() ? withSlash(home) + QStringLiteral(".local/share") : xdgDataHome;
    return withSlash(data) + QStringLiteral("folivant/Notes/");
}

QString notesDir()
{
    const QString exe = exeDir();
    return notesDirFor(exe, QFileInfo(exe).isWritable(), qEnvironmentVariable("FOLIVANT_NOTES_DIR"),
                       qEnvironmentVariable("XDG_DATA_HOME"), QDir::homePath());
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

QString paths::userGuide()
{
    const QString besideProgram = exeDir() + QStringLiteral("help/guide.html");
    if (QFileInfo(besideProgram).isFile())
        return besideProgram;
    return QDir::cleanPath(exeDir() + QStringLiteral("../share/folivant/help/guide.html"));
}
