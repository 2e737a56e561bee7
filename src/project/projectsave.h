#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// Saving the files of one project together: after a save, or after a save that a full disk
// or a killed process cut short, the project on disk is either the old one or the new
// one, never a mix of both.
//
// Each file is first written whole into a pending file of this save's own (a name no
// other save uses, beside the file it replaces) and forced to the disk; then the save
// record (".<project>.folivant-save") names every pending file with its size and checksum,
// which says that the save is complete; then the pending files replace the old ones and
// the record is removed. recover() finishes a save only when its record matches the files
// it names exactly, and touches no file of another project. Saving and recovery of one
// project hold a lock beside the project file (".<project>.folivant-lock"), so two copies
// of the program never interleave them.
//
// A save keeps what writing the files in place kept: the permissions, owner and group of
// each file, a symbolic link (its target is written), and a read-only file is refused.
namespace projectsave {

struct File {
    QString path; // the target: a project file or a notes data file
    QStringList lines;
};

// Why a save did not happen. Write: a file could not be written (the old files are
// untouched); Replace: the new files could not take the old ones' places, or another copy
// of the program is saving the project.
struct Failure {
    enum class Stage { Write, Replace };
    QString path;
    QString reason;
    Stage stage = Stage::Write;
};

// How long a save or an open waits for another copy's save of the same project.
inline constexpr int kLockWaitMs = 5000;

// Writes every file (lines ending in CR LF, as text files are written) or none. project
// names the save record and the lock (the project file's path). On failure the files on
// disk are the old ones, unless the record was kept for the next open to finish.
bool writeAll(const QString& project, const std::vector<File>& files, Failure* failure,
              int lockWaitMs = kLockWaitMs);

// The first half of a save, for a caller that already holds the project's lock: the
// pending files and the record are written, the old files are untouched. A save cut short
// right here is finished by the next recover().
bool prepare(const QString& project, const std::vector<File>& files, Failure* failure);

// Copies source to target (replacing nothing: the caller keeps a file already there) whole
// or not at all: a full disk or a killed process leaves no part of target behind. On
// failure *error is the system's reason.
bool copyWhole(const QString& source, const QString& target, QString* error);

enum class Recovery {
    Nothing,  // no interrupted save of this project
    Finished, // an interrupted save was finished
    Kept,     // a record that does not match its files, or could not be applied, was kept
    Busy,     // another copy of the program holds the project's lock
};

// Finishes an interrupted save of project (the project file's path) whose record matches
// its files, and removes what a cut-short save of this project left without a record. Run
// before the project is read.
Recovery recover(const QString& project, int lockWaitMs = kLockWaitMs);

} // namespace projectsave
