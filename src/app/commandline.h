#pragma once

#include <QString>
#include <QStringList>

class Opening;
class SplashForm;

// The program's command line: "folivant [PROJECT.nts]" opens that project once the splash
// has handed over to the main window; "--help" and "--version" print and end.
namespace commandline {

struct Request {
    QString project;   // absolute path of the project file to open; empty: none
    bool exit = false; // print text and end with exitCode, without starting
    int exitCode = 0;
    QString text; // the help, the version or what was wrong, ending in a line break
    bool isError = false;
};

// Reads the arguments, the program's name first (Qt's own options already taken out).
Request parse(const QStringList& arguments);

// True when the raw arguments ask for the help or the version: they are answered without a
// window system.
bool asksForText(int argc, const char* const* argv);

// Writes the request's text to the standard output (an error: the standard error) and
// returns its exit code.
int print(const Request& request);

// Opens project with play/open, as "Play" and the Open dialog would, right after the splash
// hands over to the main window (once).
void openAfterSplash(SplashForm& splash, Opening& opening, const QString& project);

} // namespace commandline
