#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <vector>

namespace scoreimport {

// Page files written into a project folder all together or not at all. Each page goes to
// a hidden temporary file in the folder (".folivant-import-<process>-<n>.part"); commit()
// then gives every one its page name by renaming, which never replaces a file. Until
// commit() succeeds, nothing but the hidden files is in the folder, and they are removed
// when the object goes away (failure, cancel) or commit() fails.
//
// Names: the wanted name when nothing in the folder has it (letter case ignored, so that
// a project copied to a system that ignores case keeps distinct files); otherwise "-2",
// "-3", ... is put before the extension ("Score_1.gif" -> "Score_1-2.gif").
class StagedPages {
public:
    explicit StagedPages(const QString& folder);
    ~StagedPages();
    StagedPages(const StagedPages&) = delete;
    StagedPages& operator=(const StagedPages&) = delete;

    // Writes one page file (its bytes, forced to the disk) under a temporary name, to be
    // named wantedName (a file name, no folder) by commit(). False with the system's
    // reason in *error (no space left, no permission, ...); the caller gives up then.
    bool stage(const QByteArray& bytes, const QString& wantedName, QString* error);

    // Names every staged file, in the order staged. The chosen names (no folder) on
    // success; on failure every file this object wrote is removed and *error says why.
    bool commit(QStringList* names, QString* error);

    // The first of wantedName, its "-2" variant, "-3", ... that is not in taken (names in
    // lower case).
    static QString freeName(const QString& wantedName, const QSet<QString>& taken);

private:
    struct Staged {
        QString temporary; // full path
        QString wanted;    // file name
    };
    void removeAll();

    QString m_folder; // with a trailing "/"
    std::vector<Staged> m_staged;
    QStringList m_committed; // full paths of files already named by a failing commit()
};

} // namespace scoreimport
