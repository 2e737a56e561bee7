#pragma once

#include "platform/dialogs.h"
#include "platform/shell.h"

#include <fstream>
#include <string>

// Stand-ins for the seams a whole main window needs in a benchmark: the Open dialog
// answers with a fixed file and nothing is handed to the desktop.
class AnsweringDialogs : public Dialogs {
public:
    void information(const QString&) override {}
    bool question(const QString&) override { return false; }
    bool getText(const QString&, const QString&, QString&) override { return false; }
    QString openFile(const QString&, const QString&, const QString&, const QString&) override
    {
        return answer;
    }
    QString answer;
};

class NoShell : public Shell {
public:
    void openFolder(const QString&) override {}
    void openUrl(const QString&) override {}
};

// The process's resident memory in KiB.
inline long rssKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}
