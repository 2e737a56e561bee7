#include "projectview/pageimport.h"

#include "import/scoreimport.h"
#include "platform/dialogs.h"
#include "projectview/pages.h"

#include <QFileInfo>

namespace pageimport {

QString withScores(const QString& filter)
{
    const qsizetype bar = filter.indexOf(QLatin1Char('|'));
    const qsizetype end = filter.indexOf(QLatin1Char('|'), bar + 1);
    QString patterns = filter.mid(bar + 1, end < 0 ? -1 : end - bar - 1);
    const QStringList present = patterns.toLower().split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& ext :
         scoreimport::nativeExtensions() + scoreimport::convertedExtensions()) {
        const QString pattern = QStringLiteral("*.") + ext;
        if (present.contains(pattern))
            continue;
        if (!patterns.isEmpty() && !patterns.endsWith(QLatin1Char(';')))
            patterns += QLatin1Char(';');
        patterns += pattern;
    }
    return filter.left(bar + 1) + patterns + (end < 0 ? QString() : filter.mid(end));
}

QStringList convert(Dialogs& dialogs, const QString& source, const QString& folder,
                    long long pagesBefore)
{
    QString error;
    const int pages = scoreimport::pageCount(source, &error);
    if (pages <= 0) {
        dialogs.information(error);
        return {};
    }
    if (pagesBefore + pages > Pages::kMaxPages) {
        dialogs.information(QStringLiteral("\"%1\" has %2 pages; with them the project would have "
                                           "more than %3 pages, the most a project can have. "
                                           "No page was added.")
                                .arg(QFileInfo(source).fileName())
                                .arg(pages)
                                .arg(Pages::kMaxPages));
        return {};
    }
    scoreimport::Result result;
    dialogs.runWithProgress(
        QStringLiteral("Adding the pages of \"%1\"...").arg(QFileInfo(source).fileName()),
        [&](const Dialogs::ProgressReport& report) {
            result = scoreimport::importPages(source, folder, report);
        });
    if (!result.ok()) {
        dialogs.information(result.error);
        return {};
    }
    return result.fileNames;
}

} // namespace pageimport
