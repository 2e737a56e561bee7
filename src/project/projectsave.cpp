#include "project/projectsave.h"

#include "project/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace projectsave {

namespace {

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// Where the new content of target waits until the save is complete.
QString pendingPath(const QString& target)
{
    const QFileInfo info(target);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() +
           QStringLiteral(".folivant-new");
}

QString recordPath(const QString& project)
{
    const QFileInfo info(project);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() +
           QStringLiteral(".folivant-save");
}

// Writes bytes to path (replacing it) and forces them to the disk; false with errno's text.
bool writeDurably(const QString& path, const QByteArray& bytes, QString* error)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = systemError(errno);
        return false;
    }
    const char* data = bytes.constData();
    for (qsizetype left = bytes.size(); left > 0;) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = systemError(n < 0 ? errno : ENOSPC);
            ::close(fd);
            return false;
        }
        data += n;
        left -= n;
    }
    if (::fsync(fd) != 0) {
        *error = systemError(errno);
        ::close(fd);
        return false;
    }
    if (::close(fd) != 0) {
        *error = systemError(errno);
        return false;
    }
    return true;
}

void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool replace(const QString& from, const QString& to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

} // namespace

bool writeAll(const QString& project, const std::vector<File>& files, QString* failedPath,
              QString* error)
{
    const QDir folder = QFileInfo(project).absoluteDir();
    QStringList pending;
    const auto abandon = [&](const QString& path, const QString& why) {
        for (const QString& p : pending)
            QFile::remove(p);
        *failedPath = path;
        *error = why;
        return false;
    };

    // 1. Every file complete beside its target; the old files are untouched. A target
    // that is a folder could never be replaced: the save fails before anything changes.
    QStringList names;
    for (const File& file : files) {
        if (QFileInfo(file.path).isDir())
            return abandon(file.path, systemError(EISDIR));
        const QString next = pendingPath(file.path);
        pending << next;
        QString why;
        if (!writeDurably(next, textfile::encodeLines(file.lines), &why))
            return abandon(file.path, why);
        names << folder.relativeFilePath(QFileInfo(file.path).absoluteFilePath());
    }

    // 2. The record says that the new files are complete: from here on the save is done,
    // whatever happens to the process.
    const QString record = recordPath(project);
    const QString recordNext = record + QStringLiteral(".part");
    QString why;
    if (!writeDurably(recordNext, textfile::encodeLines(names), &why)) {
        QFile::remove(recordNext);
        return abandon(project, why);
    }
    if (!replace(recordNext, record)) {
        QFile::remove(recordNext);
        return abandon(project, systemError(errno));
    }
    syncFolder(folder.absolutePath());

    // 3. The new files take the old ones' places; then the record goes.
    recover(project);
    return true;
}

bool copyWhole(const QString& source, const QString& target, QString* error)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        *error = in.errorString();
        return false;
    }
    // QSaveFile writes beside the target and renames it into place only when every byte
    // is written and synced.
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly)) {
        *error = out.errorString();
        return false;
    }
    QByteArray block;
    while (!(block = in.read(1 << 20)).isEmpty()) {
        // A write cut short by a full disk returns the part it wrote without an error;
        // writing the rest then fails with the system's reason.
        for (qsizetype done = 0; done < block.size();) {
            const qint64 n = out.write(block.constData() + done, block.size() - done);
            if (n <= 0) {
                *error = out.errorString();
                out.cancelWriting();
                return false;
            }
            done += n;
        }
    }
    if (in.error() != QFileDevice::NoError) {
        *error = in.errorString();
        out.cancelWriting();
        return false;
    }
    if (!out.commit()) {
        *error = out.errorString();
        return false;
    }
    return true;
}

void recover(const QString& project)
{
    const QDir folder = QFileInfo(project).absoluteDir();
    const QString record = recordPath(project);
    QStringList names;
    if (QFileInfo::exists(record) && textfile::readLines(record, names)) {
        for (const QString& name : names) {
            const QString target = folder.absoluteFilePath(name);
            const QString next = pendingPath(target);
            if (QFileInfo::exists(next))
                replace(next, target);
        }
        syncFolder(folder.absolutePath());
    }
    QFile::remove(record);
    QFile::remove(record + QStringLiteral(".part"));
    // New files without a record are from a save that never completed.
    for (const QString& stray :
         folder.entryList({QStringLiteral(".*.folivant-new")}, QDir::Files | QDir::Hidden))
        QFile::remove(folder.absoluteFilePath(stray));
}

} // namespace projectsave
