#pragma once

#include <QString>
#include <QStringList>

// The pure parts of creating a project: names, folders and the project file's lines.
namespace newproject {

// The project name proposed for an audio file: its file name without its extension (the
// last dot and what follows it), "x.flac" as well as "Etude 5.mp3".
QString proposedName(const QString& audioPath);
// The file-name part of a project name: the text after its last "\" or "/".
QString fileNamePart(const QString& projectName);
// The project folder of a name typed by the user, inside notesDir and with a trailing
// "/". "\" and "/" both separate sub-folders. Empty when the name is empty, absolute, has
// a ".." part or no file-name part: such a name would leave the Notes folder.
QString projectFolder(const QString& notesDir, const QString& projectName);
// The lines of a new project file, in the order they are written: AudioFile,
// SourceAudioFile, DirPath, FileName, NotesDataFile, UseLocal, NotesFile0..N-1,
// NotesAmount. UseLocal is "false" for an audio-CD track (".cda").
QStringList projectLines(const QString& audioPath, const QString& dirPath, const QString& name,
                         const QStringList& images);
// Whether the audio path names an audio-CD track (extension exactly ".cda").
bool isCdTrack(const QString& audioPath);

extern const QString kNameRefused;
extern const QString kManualTips;

} // namespace newproject
