#include "platform/shell.h"

#include <QDesktopServices>
#include <QUrl>

void DesktopShell::openFolder(const QString& path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void DesktopShell::openUrl(const QString& url)
{
    QDesktopServices::openUrl(QUrl(url));
}
