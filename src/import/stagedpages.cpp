#include "import/stagedpages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace scoreimport {

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Forces the folder's entries (the new names) to the disk; a failure here loses nothing
// that the renames have not already made visible, so it is not reported.
void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

StagedPages::StagedPages(const QString& folder)
    : m_folder(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'))
{
}

StagedPages::~StagedPages()
{
    removeAll();
}

void StagedPages::removeAll()
{
    for (const Staged& s : m_staged)
        QFile::remove(s.temporary);
    for (const QString& path : m_committed)
        QFile::remove(path);
    m_staged.clear();
    m_committed.clear();
}

bool StagedPages::stage(const QByteArray& bytes, const QString& wantedName, QString* error)
{
    static std::atomic<int> counter{0};
    QFile file;
    for (int attempt = 0;; ++attempt) {
        file.setFileName(m_folder + QStringLiteral(".folivant-import-%1-%2.part")
                                        .arg(QCoreApplication::applicationPid())
                                        .arg(counter++));
        // NewOnly: a leftover of another run with the same name is never overwritten.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            break;
        if (!file.exists() || attempt == 100) {
            *error = file.errorString();
            return false;
        }
    }
    m_staged.push_back({file.fileName(), wantedName});
    // Written with the system's own calls, so that the reason for a failure (a full disk,
    // a file size limit) is the system's.
    const char* data = bytes.constData();
    for (qsizetype left = bytes.size(); left > 0;) {
        const ssize_t n = ::write(file.handle(), data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = n < 0 ? systemError() : QStringLiteral("nothing could be written");
            return false;
        }
        data += n;
        left -= n;
    }
    // The project file will name this page once the import is done: the bytes must be on
    // the disk before the name is, or a power cut could leave an empty page behind it.
    if (::fsync(file.handle()) != 0) {
        *error = systemError();
        return false;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return false;
    }
    return true;
}

QString StagedPages::freeName(const QString& wantedName, const QSet<QString>& taken)
{
    if (!taken.contains(wantedName.toLower()))
        return wantedName;
    const qsizetype dot = wantedName.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? wantedName.left(dot) : wantedName;
    const QString ext = dot > 0 ? wantedName.mid(dot) : QString();
    for (int n = 2;; ++n) {
        const QString name = stem + QLatin1Char('-') + QString::number(n) + ext;
        if (!taken.contains(name.toLower()))
            return name;
    }
}

bool StagedPages::commit(QStringList* names, QString* error)
{
    QSet<QString> taken;
    const QStringList entries = QDir(m_folder).entryList(QDir::AllEntries | QDir::Hidden |
                                                         QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries)
        taken.insert(entry.toLower());

    QStringList chosen;
    for (const Staged& s : m_staged) {
        for (;;) {
            const QString name = freeName(s.wanted, taken);
            taken.insert(name.toLower());
            // Renaming never replaces a file: a file given this name since the folder
            // was listed makes the next name be tried.
            QFile file(s.temporary);
            if (file.rename(m_folder + name)) {
                chosen << name;
                m_committed << m_folder + name;
                break;
            }
            if (QFileInfo::exists(m_folder + name))
                continue;
            *error = file.errorString();
            removeAll();
            return false;
        }
    }
    m_staged.clear();
    m_committed.clear();
    syncFolder(m_folder);
    *names = chosen;
    return true;
}

} // namespace scoreimport
