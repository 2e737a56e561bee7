#pragma once

#include <QString>

// Hands folders and web addresses to the desktop.
class Shell {
public:
    virtual ~Shell() = default;
    virtual void openFolder(const QString& path) = 0;
    virtual void openUrl(const QString& url) = 0;
};

class DesktopShell : public Shell {
public:
    void openFolder(const QString& path) override;
    void openUrl(const QString& url) override;
};
