#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// Saving the files of one project together: after a save, or after a save that a full disk
// or a killed process cut short, the project on disk is either the old one or the new
// one, never a mix of both.
//
// Each file is first written whole beside its target (".<name>.folivant-new") and forced
// to the disk; then a small save record (".<project>.folivant-save", naming the files) is
// made, which says that every new file is complete; then the new files replace the old
// ones and the record is removed. recover() finishes a save whose record exists and
// discards new files that a save left without a record. The project files themselves keep
// their format.
namespace projectsave {

struct File {
    QString path; // the target: a project file or a notes data file
    QStringList lines;
};

// Writes every file (lines ending in CR LF, as text files are written) or none. project
// names the save record (the project file's path). On failure *failedPath is the file
// that could not be written and *error the system's reason; the files on disk are then
// the old ones.
bool writeAll(const QString& project, const std::vector<File>& files, QString* failedPath,
              QString* error);

// Copies source to target (replacing nothing: the caller keeps a file already there) whole
// or not at all: a full disk or a killed process leaves no part of target behind. On
// failure *error is the system's reason.
bool copyWhole(const QString& source, const QString& target, QString* error);

// Finishes or undoes an interrupted save of project (the project file's path), as the
// save record says. Run before the project is read.
void recover(const QString& project);

} // namespace projectsave
