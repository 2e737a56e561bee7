#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Real files made at test time by real encoders, and a temporary Notes folder.
namespace testfiles {

// Runs a program and waits for it; false (with its output in *log) when it fails.
bool run(const QString& program, const QStringList& args, QString* log = nullptr);

// A sine tone of the given length made by ffmpeg; the format follows the extension
// (.wav, .mp3, .wma, .flac, .ogg, .opus, .m4a, .aac). Returns the path, or empty on failure.
QString makeTone(const QString& dir, const QString& fileName, double seconds, int frequency = 440);

// An image made by ImageMagick's convert: a white page with a few black shapes. extra
// are options placed before the output name (for example "-interlace", "JPEG").
QString makeImage(const QString& dir, const QString& fileName, int width, int height,
                  const QStringList& extra = {});

// Writes bytes to a file; returns its path.
QString writeFile(const QString& path, const QByteArray& bytes);

// A temporary folder that serves as the Notes folder (FOLIVANT_NOTES_DIR) while alive.
class TempNotes {
public:
    TempNotes();
    ~TempNotes();
    QString path() const; // with a trailing "/"

private:
    QTemporaryDir m_dir;
    QByteArray m_old;
    bool m_hadOld;
};

// Writes a project folder <notes>/<name>/ with <name>.nts, an optional .ntf and the given
// page images (made by makeImage unless they exist). Returns the .nts path.
struct ProjectLayout {
    QString name = QStringLiteral("Test");
    QString audio;       // a path to copy in as the local audio copy (may be empty)
    QStringList pages;   // page file names made in the folder (600 x 800 JPEGs)
    QStringList entries; // notes data lines; no .ntf when empty and noNtf
    bool writeNtf = true;
    QStringList extraLines; // appended to the project file
};
QString makeProject(const QString& notesDir, const ProjectLayout& layout);

} // namespace testfiles
