#include "import/scoreimport.h"

#include "import/pageencoder.h"
#include "import/pagesource.h"
#include "import/stagedpages.h"
#include "platform/paths.h"

#include <QFile>
#include <QFileInfo>

namespace scoreimport {

namespace {

QString extensionOf(const QString& path)
{
    return paths::extension(path).mid(1).toLower();
}

QString quoted(const QString& path)
{
    return QLatin1Char('"') + QFileInfo(path).fileName() + QLatin1Char('"');
}

QString writeFailed(const QString& source, const QString& folder, const QString& reason)
{
    return QStringLiteral("The pages of %1 could not be written into the folder %2: %3. "
                          "No page was added.")
        .arg(quoted(source), folder, reason);
}

Result failed(const QString& message)
{
    Result r;
    r.error = message;
    return r;
}

Result cancelledImport(const QString& source)
{
    Result r;
    r.cancelled = true;
    r.error = QStringLiteral("Adding %1 was cancelled; no page was added.").arg(quoted(source));
    return r;
}

// A JPEG, GIF or BMP is a page already: copied whole, under its own (free) name.
Result copyPage(const QString& source, const QString& folder)
{
    QFile file(source);
    if (!QFileInfo(source).isFile())
        return failed(QStringLiteral("The file %1 does not exist.").arg(source));
    if (!file.open(QIODevice::ReadOnly))
        return failed(
            QStringLiteral("%1 cannot be read: %2").arg(quoted(source), file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return failed(
            QStringLiteral("%1 cannot be read: %2").arg(quoted(source), file.errorString()));
    StagedPages staged(folder);
    Result r;
    QString reason;
    if (!staged.stage(bytes, QFileInfo(source).fileName(), &reason) ||
        !staged.commit(&r.fileNames, &reason))
        return failed(writeFailed(source, folder, reason));
    return r;
}

} // namespace

QStringList convertedExtensions()
{
    return {QStringLiteral("pdf"), QStringLiteral("png"), QStringLiteral("tif"),
            QStringLiteral("tiff")};
}

QStringList nativeExtensions()
{
    return {QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("gif"),
            QStringLiteral("bmp")};
}

bool needsConversion(const QString& path)
{
    return convertedExtensions().contains(extensionOf(path));
}

bool isImportable(const QString& path)
{
    return needsConversion(path) || nativeExtensions().contains(extensionOf(path));
}

QString dialogFilter()
{
    QStringList patterns;
    for (const QString& ext : convertedExtensions() + nativeExtensions())
        patterns << QStringLiteral("*.") + ext;
    return QStringLiteral("Scores and page images|") + patterns.join(QLatin1Char(';'));
}

int pageCount(const QString& path, QString* error, const Budget& budget)
{
    QString message;
    if (!needsConversion(path)) {
        if (QFileInfo(path).isFile())
            return 1;
        message = QStringLiteral("The file %1 does not exist.").arg(path);
    } else if (const auto source = PageSource::open(path, &message, budget)) {
        return source->count();
    }
    if (error)
        *error = message;
    return 0;
}

Result importPages(const QString& source, const QString& targetFolder, const Progress& progress,
                   const Budget& budget)
{
    if (!needsConversion(source))
        return copyPage(source, targetFolder);

    QString message;
    const std::unique_ptr<PageSource> pages = PageSource::open(source, &message, budget);
    if (!pages)
        return failed(message);
    const int total = pages->count();
    if (progress && !progress(0, total))
        return cancelledImport(source);

    const QString stem = QFileInfo(source).completeBaseName();
    StagedPages staged(targetFolder);
    for (int i = 0; i < total; ++i) {
        pageencoder::Encoded file;
        {
            const QImage page = pages->page(i, &message);
            if (page.isNull())
                return failed(message);
            file = pageencoder::encode(page, &message);
        } // the picture is dropped before the file is written
        if (file.bytes.isEmpty())
            return failed(QStringLiteral("Page %1 of %2 could not be converted: %3.")
                              .arg(i + 1)
                              .arg(quoted(source), message));
        const QString name =
            pages->numbered() ? stem + QLatin1Char('_') + QString::number(i + 1) + file.extension()
                              : stem + file.extension();
        if (!staged.stage(file.bytes, name, &message))
            return failed(writeFailed(source, targetFolder, message));
        if (progress && !progress(i + 1, total))
            return cancelledImport(source);
    }
    Result r;
    if (!staged.commit(&r.fileNames, &message))
        return failed(writeFailed(source, targetFolder, message));
    return r;
}

} // namespace scoreimport
