#include "project/saverecord.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace saverecord {

namespace {

// The first line of every record; a record without it (or of another version) describes
// nothing this program can check.
const QString kHeader = QStringLiteral("folivant save record 2");
constexpr int kLinesPerEntry = 4;

bool isHexChecksum(const QString& text)
{
    if (text.size() != 64)
        return false;
    for (const QChar c : text)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
            return false;
    return true;
}

} // namespace

QStringList toLines(const std::vector<Entry>& entries)
{
    QStringList lines{kHeader};
    for (const Entry& e : entries)
        lines << e.target << e.pending << QString::number(e.size)
              << QString::fromLatin1(e.checksum);
    return lines;
}

std::optional<std::vector<Entry>> fromLines(const QStringList& lines)
{
    if (lines.size() < 1 + kLinesPerEntry || lines.first() != kHeader ||
        (lines.size() - 1) % kLinesPerEntry != 0)
        return std::nullopt;
    std::vector<Entry> entries;
    for (qsizetype i = 1; i < lines.size(); i += kLinesPerEntry) {
        Entry e;
        e.target = lines[i];
        e.pending = lines[i + 1];
        bool ok = false;
        e.size = lines[i + 2].toLongLong(&ok);
        if (!ok || e.size < 0 || e.target.isEmpty() || e.pending.isEmpty() ||
            !isHexChecksum(lines[i + 3]))
            return std::nullopt;
        e.checksum = lines[i + 3].toLatin1();
        entries.push_back(e);
    }
    return entries;
}

QByteArray checksumOf(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

bool fileMatches(const QString& path, qint64 size, const QByteArray& checksum)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() != size)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return false;
    return hash.result().toHex() == checksum;
}

} // namespace saverecord
