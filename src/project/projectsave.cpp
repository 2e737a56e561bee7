#include "project/projectsave.h"

#include "project/saverecord.h"
#include "project/textfile.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace projectsave {

namespace {

using saverecord::Entry;

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

QString besideProject(const QString& project, const QString& suffix)
{
    const QFileInfo info(project);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + suffix;
}

QString recordPath(const QString& project)
{
    return besideProject(project, QStringLiteral(".folivant-save"));
}

// Pending files of one project's saves start with this, so recovery can tell them from
// another project's. Long project names are cut so the pending name still fits.
QString pendingPrefix(const QString& project)
{
    return QStringLiteral(".") + QFileInfo(project).fileName().left(120) + QLatin1Char('.');
}

// A pending file of this project's saves, or the copy of an old file a save keeps while it
// replaces several files ("...folivant-old").
bool isOwnLeftover(const QString& project, const QString& name)
{
    static const QRegularExpression tail(
        QStringLiteral("^[0-9a-f]{16}\\.[0-9]+\\.folivant-(new|old)$"));
    const QString prefix = pendingPrefix(project);
    return name.startsWith(prefix) && tail.match(name.mid(prefix.size())).hasMatch();
}

// The file a save really writes: the target of a symbolic link, so the link stays.
QString realTarget(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return info.absoluteFilePath();
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.symLinkTarget() : canonical;
}

QString backupOf(const QString& pending)
{
    QString backup = pending;
    backup.chop(3);
    return backup + QStringLiteral("old");
}

// Writes bytes to a new file at path and forces them to the disk. The file gets the
// permissions, owner and group of like when that exists, as writing in place kept them.
bool writeDurably(const QString& path, const QByteArray& bytes, const QString& like, QString* error)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = systemError(errno);
        return false;
    }
    struct stat old {};
    if (::stat(QFile::encodeName(like).constData(), &old) == 0) {
        // Only the owner (or root) may hand the file on; the group may still take.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0)
            (void)!::fchown(fd, uid_t(-1), old.st_gid);
        ::fchmod(fd, old.st_mode & 07777);
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

bool rename(const QString& from, const QString& to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// A file the user made read-only is refused, as writing it in place refused it (root
// included: the missing write bits say what the user wants).
// The reason, or 0 when the file may be written or is not there.
int refusesWriting(const QString& path)
{
    struct stat st {};
    const QByteArray name = QFile::encodeName(path);
    if (::stat(name.constData(), &st) != 0)
        return 0;
    if (::access(name.constData(), W_OK) != 0)
        return errno;
    return (st.st_mode & 0222) == 0 ? EACCES : 0;
}

// The lock that serialises the saves and recoveries of one project between copies of the
// program. A lock left by a process that died is taken over.
class ProjectLock {
public:
    explicit ProjectLock(const QString& project)
        : m_path(besideProject(project, QStringLiteral(".folivant-lock")))
        , m_lock(m_path)
    {
        // Only a dead holder makes the lock stale, never the time a large save takes.
        m_lock.setStaleLockTime(0);
    }
    // False when another copy holds it. A folder where no lock can be made (read-only)
    // has no save to interleave with: that counts as held.
    bool acquire(int waitMs)
    {
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            if (m_lock.tryLock(0))
                return true;
            if (m_lock.error() != QLockFile::LockFailedError)
                return true;
            // A copy killed between making the lock file and writing its process into it
            // leaves a lock that names no holder, so it never counts as a dead holder's:
            // once it is older than such a moment can last, it is taken over too.
            qint64 pid = 0;
            QString host, app;
            if (!m_lock.getLockInfo(&pid, &host, &app) &&
                QFileInfo(m_path).lastModified().msecsTo(QDateTime::currentDateTime()) >
                    kUnnamedLockMs)
                m_lock.removeStaleLockFile();
            else if (waited.elapsed() >= waitMs)
                return false;
            else
                QThread::msleep(50);
        }
    }

private:
    static constexpr qint64 kUnnamedLockMs = 1000;
    QString m_path;
    QLockFile m_lock;
};

enum class Applied { Done, RolledBack, Stuck };

// Moves every pending file of a complete record into its target's place. When one cannot
// move, the files already moved are put back as they were (their old content was kept as
// a hard link), so the project stays the old one; where that is impossible, the record
// stays for the next open to finish.
Applied apply(const QDir& folder, const std::vector<Entry>& entries, Failure* failure)
{
    struct Moved {
        QString real, pending, backup;
        bool existed = false; // the target was there before
    };
    std::vector<Moved> moved;
    QSet<QString> folders{folder.absolutePath()};
    for (const Entry& e : entries) {
        const QString pending = folder.absoluteFilePath(e.pending);
        if (!QFileInfo::exists(pending))
            continue; // already in place
        const QString real = realTarget(folder.absoluteFilePath(e.target));
        const bool existed = QFileInfo::exists(real);
        QString backup = backupOf(pending);
        QFile::remove(backup);
        if (!existed ||
            ::link(QFile::encodeName(real).constData(), QFile::encodeName(backup).constData()) != 0)
            backup.clear();
        if (!rename(pending, real)) {
            const int code = errno;
            if (!backup.isEmpty())
                QFile::remove(backup);
            failure->path = folder.absoluteFilePath(e.target);
            failure->reason = systemError(code);
            failure->stage = Failure::Stage::Replace;
            bool restored = true;
            for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
                if (it->existed && it->backup.isEmpty()) {
                    restored = false; // an old file that could not be kept
                    continue;
                }
                restored = rename(it->real, it->pending) && restored;
                if (!it->backup.isEmpty())
                    restored = rename(it->backup, it->real) && restored;
            }
            return restored ? Applied::RolledBack : Applied::Stuck;
        }
        folders.insert(QFileInfo(real).absolutePath());
        moved.push_back({real, pending, backup, existed});
    }
    for (const QString& f : folders)
        syncFolder(f);
    for (const Moved& m : moved)
        if (!m.backup.isEmpty())
            QFile::remove(m.backup);
    return Applied::Done;
}

// Whether every file of the record is there with the content the record names, either
// still pending or already in its target's place.
bool recordMatches(const QDir& folder, const std::vector<Entry>& entries)
{
    for (const Entry& e : entries) {
        const QString pending = folder.absoluteFilePath(e.pending);
        const QString target = realTarget(folder.absoluteFilePath(e.target));
        if (!saverecord::fileMatches(pending, e.size, e.checksum) &&
            (QFileInfo::exists(pending) || !saverecord::fileMatches(target, e.size, e.checksum)))
            return false;
    }
    return true;
}

// Removes what cut-short saves of this project left in its folder, but for the files a
// kept record still names.
void removeOwnLeftovers(const QString& project, const QSet<QString>& keep)
{
    const QDir folder = QFileInfo(project).absoluteDir();
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden)) {
        if (isOwnLeftover(project, name) && !keep.contains(folder.absoluteFilePath(name)))
            QFile::remove(folder.absoluteFilePath(name));
    }
    QFile::remove(recordPath(project) + QStringLiteral(".part"));
}

void removeFiles(const QDir& folder, const std::vector<Entry>& entries)
{
    for (const Entry& e : entries) {
        QFile::remove(folder.absoluteFilePath(e.pending));
        QFile::remove(backupOf(folder.absoluteFilePath(e.pending)));
    }
}

// recover() for a caller that holds the lock.
Recovery recoverLocked(const QString& project)
{
    const QDir folder = QFileInfo(project).absoluteDir();
    const QString record = recordPath(project);
    QSet<QString> keep;
    Recovery result = Recovery::Nothing;
    QStringList lines;
    if (QFileInfo::exists(record) && textfile::readLines(record, lines)) {
        const auto entries = saverecord::fromLines(lines);
        Failure failure;
        if (entries && recordMatches(folder, *entries) &&
            apply(folder, *entries, &failure) == Applied::Done) {
            QFile::remove(record);
            syncFolder(folder.absolutePath());
            result = Recovery::Finished;
        } else {
            // A record that does not match its files (stale, or copied ahead of them) or
            // could not be applied: nothing is replaced and its files stay.
            if (entries)
                for (const Entry& e : *entries)
                    keep.insert(folder.absoluteFilePath(e.pending));
            result = Recovery::Kept;
        }
    }
    removeOwnLeftovers(project, keep);
    return result;
}

} // namespace

bool prepare(const QString& project, const std::vector<File>& files, Failure* failure)
{
    const QDir folder = QFileInfo(project).absoluteDir();
    const QString token =
        QString::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, u'0');
    std::vector<Entry> entries;
    const auto abandon = [&](const QString& path, const QString& why) {
        removeFiles(folder, entries);
        failure->path = path;
        failure->reason = why;
        failure->stage = Failure::Stage::Write;
        return false;
    };

    // 1. Every file complete beside its target; the old files are untouched. A target
    // that is a folder, or a read-only file, fails the save before anything changes.
    for (const File& file : files) {
        const QString real = realTarget(file.path);
        if (QFileInfo(real).isDir())
            return abandon(file.path, systemError(EISDIR));
        if (const int refused = refusesWriting(real))
            return abandon(file.path, systemError(refused));
        const QString pending = QFileInfo(real).absolutePath() + QLatin1Char('/') +
                                pendingPrefix(project) + token + QLatin1Char('.') +
                                QString::number(entries.size()) + QStringLiteral(".folivant-new");
        const QByteArray bytes = textfile::encodeLines(file.lines);
        entries.push_back({folder.relativeFilePath(QFileInfo(file.path).absoluteFilePath()),
                           folder.relativeFilePath(pending), bytes.size(),
                           saverecord::checksumOf(bytes)});
        QString why;
        if (!writeDurably(pending, bytes, real, &why))
            return abandon(file.path, why);
    }

    // 2. The record says that the new files are complete: from here on the save is done,
    // whatever happens to the process.
    const QString record = recordPath(project);
    const QString recordNext = record + QStringLiteral(".part");
    QFile::remove(recordNext);
    QString why;
    if (!writeDurably(recordNext, textfile::encodeLines(saverecord::toLines(entries)), QString(),
                      &why)) {
        QFile::remove(recordNext);
        return abandon(project, why);
    }
    if (!rename(recordNext, record)) {
        why = systemError(errno);
        QFile::remove(recordNext);
        return abandon(project, why);
    }
    syncFolder(folder.absolutePath());
    return true;
}

bool writeAll(const QString& project, const std::vector<File>& files, Failure* failure,
              int lockWaitMs)
{
    ProjectLock lock(project);
    if (!lock.acquire(lockWaitMs)) {
        failure->path = project;
        failure->reason = QStringLiteral("another copy of Folivant is saving this project");
        failure->stage = Failure::Stage::Replace;
        return false;
    }
    // An earlier save of this project that was cut short is finished first, so this one
    // builds on it.
    recoverLocked(project);
    if (!prepare(project, files, failure))
        return false;

    // 3. The new files take the old ones' places; then the record goes.
    const QDir folder = QFileInfo(project).absoluteDir();
    const QString record = recordPath(project);
    QStringList lines;
    textfile::readLines(record, lines);
    const auto entries = saverecord::fromLines(lines);
    if (!entries) {
        *failure = {project, systemError(EIO), Failure::Stage::Replace};
        return false;
    }
    switch (apply(folder, *entries, failure)) {
    case Applied::Done:
        QFile::remove(record);
        syncFolder(folder.absolutePath());
        return true;
    case Applied::RolledBack:
        QFile::remove(record);
        syncFolder(folder.absolutePath());
        removeFiles(folder, *entries);
        return false;
    case Applied::Stuck:
        return false; // the record stays: the next open finishes the save
    }
    return false;
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

Recovery recover(const QString& project, int lockWaitMs)
{
    ProjectLock lock(project);
    if (!lock.acquire(lockWaitMs))
        return Recovery::Busy;
    return recoverLocked(project);
}

} // namespace projectsave
