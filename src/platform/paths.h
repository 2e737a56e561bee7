#pragma once

#include <QString>

// Where Folivant keeps its projects, and path parts of values that may come from a
// project made on Windows (where "\" separates folders).
namespace paths {

// The folder of the executable, with a trailing "/".
QString exeDir();
// The Notes folder, with a trailing "/": FOLIVANT_NOTES_DIR when set; otherwise
// <executable folder>/Notes/, or $XDG_DATA_HOME/folivant/Notes/ when the executable's
// folder cannot be written (an installed program).
QString notesDir();
// The choice behind notesDir(), apart from the system: notesEnv is FOLIVANT_NOTES_DIR,
// xdgDataHome is $XDG_DATA_HOME (either may be empty) and home the user's home folder.
QString notesDirFor(const QString& exeDir, bool exeDirWritable, const QString& notesEnv,
                    const QString& xdgDataHome, const QString& home);

// The user guide page: help/guide.html beside the executable (a build), else the one
// installed in ../share/folivant/help/.
QString userGuide();

// The text after the last "/" or "\" (the whole text when there is none).
QString fileName(const QString& path);
// The folder part, up to and including the last "/" or "\" (empty when there is none).
QString folder(const QString& path);
// The extension with its dot (".mp3"), taken from the file-name part; empty when none.
QString extension(const QString& path);

} // namespace paths
