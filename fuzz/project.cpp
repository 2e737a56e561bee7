// A whole project opened from its folder, as a friend sends it: the project file, its notes
// data file and its first page image, and possibly the save record of a save that was cut
// short. The input holds those files cut at fuzzinput::separator: project file, notes
// data, page image, save record (the last two optional). They are written into a new
// folder under the names the project file gives, then read the way opening a project
// reads them: the save finished or undone, the project file, its page count, the marker
// list with every entry's time and place, and page 0's image under a lowered page cap.
//
// With a save record, the project file part is the save's new project file and the folder
// holds an older one; afterwards the project file is whole, old or new, and nothing of the
// save is left in the folder.
#include "fuzzinput.h"
#include "fuzzpage.h"
#include "project/markerentry.h"
#include "project/pageimage.h"
#include "project/projectsave.h"
#include "project/saverecord.h"
#include "project/textfile.h"
#include "project/workspace.h"

#include <QFileInfo>
#include <QTemporaryDir>

namespace {

using fuzzinput::require;

const QByteArray kOldProject = "FileName=Old\r\nNotesAmount=0\r\n";

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Whether one of the save record's lines is the project file's name as a save writes it.
bool recordNames(const QByteArray& record, const QString& fileName)
{
    return textfile::splitLines(textfile::decode(record)).contains(fileName);
}

// What the save left in the folder: its record and new files.
QStringList saveLeftovers(const QString& folder)
{
    return QDir(folder).entryList(
        {QStringLiteral(".*.folivant-new"), QStringLiteral(".Project.nts.folivant-save*")},
        QDir::Files | QDir::Hidden);
}

void readMarkers(const MarkerList& notes)
{
    for (qsizetype i = 0; i < notes.count(); ++i) {
        try {
            notes.time(i);
        } catch (const markerentry::ConversionError& e) {
            require(!e.text().isEmpty());
        }
        try {
            const markerentry::Place place = markerentry::parsePlace(notes.value(i));
            (void)place;
        } catch (const markerentry::ConversionError& e) {
            require(!e.text().isEmpty());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QList<QByteArray> files = fuzzinput::parts(fuzzinput::bytes(data, size), 4);
    QTemporaryDir dir(fuzzinput::temporaryBase() + QStringLiteral("/folivant-project-XXXXXX"));
    require(dir.isValid());
    const QString folder = dir.path() + QLatin1Char('/');
    const QString projectName = QStringLiteral("Project.nts");
    const QString project = folder + projectName;

    // The names the project file gives its other files.
    const TextList given(textfile::splitLines(textfile::decode(files.value(0))));
    const QString dataName = given.value(QStringLiteral("NotesDataFile"));
    const QString pageName = given.value(QStringLiteral("NotesFile0"));
    if (fuzzinput::plainName(dataName) && files.size() > 1)
        fuzzinput::writeFile(folder + dataName, files[1]);
    if (fuzzinput::plainName(pageName) && files.size() > 2)
        fuzzinput::writeFile(folder + pageName, files[2]);

    // A save cut short after its record: the record either matches the new project file
    // it names (when the input's record names the project file, it is made to, with the
    // file's size and checksum) or is the input's own bytes, which match nothing.
    const bool saveCutShort = files.size() > 3;
    bool named = false;
    if (saveCutShort) {
        const QString pending = QStringLiteral(".Project.nts.0123456789abcdef.0.folivant-new");
        require(fuzzinput::writeFile(project, kOldProject));
        require(fuzzinput::writeFile(folder + pending, files[0]));
        named = recordNames(files[3], projectName);
        const QByteArray record =
            named
                ? textfile::encodeLines(saverecord::toLines(
                      {{projectName, pending, files[0].size(), saverecord::checksumOf(files[0])}}))
                : files[3];
        require(
            fuzzinput::writeFile(folder + QStringLiteral(".Project.nts.folivant-save"), record));
    } else {
        require(fuzzinput::writeFile(project, files[0]));
    }

    projectsave::recover(project);
    if (saveCutShort) {
        // Old or new, whole; new, with nothing of the save left, when the record matches.
        const QByteArray now = readAll(project);
        require(now == files[0] || now == kOldProject);
        require(!named || now == files[0]);
        require(!named || saveLeftovers(folder).isEmpty());
    }

    Workspace ws;
    ws.openPath = project;
    QString error;
    if (!ws.memo.load(project, &error))
        return 0;
    const auto pages = ws.pageCount();
    if (!pages)
        return 0;
    require(*pages >= 0 && *pages <= Workspace::kMaxPages);

    const QString dataFile = ws.fileInProject(QStringLiteral("NotesDataFile"));
    if (!ws.memo.value(QStringLiteral("NotesDataFile")).isEmpty() && QFileInfo(dataFile).isFile()) {
        if (!ws.notes.load(dataFile, &error))
            return 0;
        readMarkers(ws.notes);
    }

    if (*pages > 0) {
        const QString pageFile = ws.fileInProject(QStringLiteral("NotesFile0"));
        if (QFileInfo(pageFile).isFile()) {
            error.clear();
            const QImage page = pageimage::load(pageFile, &error, fuzzpage::maxBytes);
            fuzzpage::check(page, error, pageFile);
        }
    }
    return 0;
}
