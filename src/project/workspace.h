#pragma once

#include "platform/paths.h"
#include "project/markerlist.h"
#include "project/numbertext.h"
#include "project/textlist.h"

#include <optional>

// The modes of the main window; a change of any of them ends with the mode refresh.
struct Modes {
    bool editing = false;
    bool automatic = false;
    bool automaticSecondStage = false;
    bool followMode = false;  // a Kinsoro guest
    bool hostingMode = false; // a Kinsoro host after Go!
    bool wizardOpen = false;
    bool insertAfterSelection = false;
    // While set, the "Use Local audio file" handler ignores changes of its check box.
    bool suppressLocalAudio = false;

    bool inSession() const { return followMode || hostingMode; }
};

// The open project: its project file lines (`memo`), its marker list (`NotesList`) and
// path, plus the modes. Owned by the main window and shared by its rooms.
struct Workspace {
    TextList memo;
    MarkerList notes;
    QString openPath;       // full path of the open .nts file; empty: no project open
    QString projectsFolder; // Notes folder remembered at the start of an open attempt
    Modes modes;

    bool isOpen() const { return !openPath.isEmpty(); }
    // Every file named by the project file is looked up beside the project file itself.
    QString projectFolder() const { return paths::folder(openPath); }
    QString fileInProject(const QString& key) const { return projectFolder() + memo.value(key); }

    // The largest page count a project may declare.
    static constexpr long long kMaxPages = 10000;
    // `NotesAmount` read as the page count; empty when it is not an integer from 0 to
    // kMaxPages (the project cannot be opened then).
    std::optional<long long> pageCount() const
    {
        const auto n = numbertext::parseInt(memo.value(QStringLiteral("NotesAmount")));
        if (!n || *n < 0 || *n > kMaxPages)
            return std::nullopt;
        return n;
    }
};
