#pragma once

#include "platform/dialogs.h"

#include <QQueue>
#include <QStringList>

// Dialogs answered from queues the test fills. Every text shown is recorded in shown;
// file dialogs record "title|startFolder|filter|ext" in fileRequests. An empty queue
// answers No, cancels the input box and cancels the file dialog.
class ScriptedDialogs : public Dialogs {
public:
    void information(const QString& text) override;
    bool question(const QString& text) override;
    bool getText(const QString& title, const QString& prompt, QString& value) override;
    QString openFile(const QString& title, const QString& startFolder, const QString& filter,
                     const QString& defaultExtension) override;
    // Runs the work on a thread of its own, as the program does, and waits for it. Each
    // label is recorded in progressLabels; the report answers "cancelled" once cancelAfter
    // steps are done (never when it is -1).
    void runWithProgress(const QString& label,
                         const std::function<void(const ProgressReport&)>& work) override;

    QStringList shown;
    QStringList fileRequests;
    QQueue<bool> answers;
    QQueue<QString> files; // "" = cancel
    QQueue<QString> texts; // an entry "\x01" cancels
    // How long an information box stays open, as a real modal box would: events go on
    // being delivered meanwhile.
    int holdMs = 0;
    QStringList progressLabels;
    int cancelAfter = -1;
};
