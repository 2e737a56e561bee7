#pragma once

#include <QString>
#include <QStringList>

class Dialogs;

// Adding a score where pages are added (the pages panel's "Add" and the wizard's "Add"):
// a PDF, PNG or TIFF file becomes page images the project loader reads (GIF or JPEG),
// converted on a worker thread under a progress box the user can cancel.
namespace pageimport {

// An open-file dialog's filter ("Caption|*.a;*.b") with the scores and page images the
// import takes added to its patterns, the caption kept.
QString withScores(const QString& filter);

// Converts source (a file scoreimport::needsConversion accepts) into page images in
// folder, which must exist. pagesBefore is the number of pages there are already; a
// score that would take the project past the most pages a project can have is refused
// before anything is converted. Returns the new files' names in page order. On a failure
// or a cancel it shows one message, leaves nothing in folder and returns no name.
QStringList convert(Dialogs& dialogs, const QString& source, const QString& folder,
                    long long pagesBefore);

} // namespace pageimport
