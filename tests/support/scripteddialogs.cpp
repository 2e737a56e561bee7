#include "support/scripteddialogs.h"

#include <QTest>

#include <thread>

bool ScriptedDialogs::question(const QString& text)
{
    shown << text;
    return answers.isEmpty() ? false : answers.dequeue();
}

bool ScriptedDialogs::getText(const QString& title, const QString& prompt, QString& value)
{
    shown << title + QLatin1Char('|') + prompt;
    if (texts.isEmpty())
        return false;
    const QString t = texts.dequeue();
    if (t == QStringLiteral("\x01"))
        return false;
    value = t;
    return true;
}

QString ScriptedDialogs::openFile(const QString& title, const QString& startFolder,
                                  const QString& filter, const QString& defaultExtension)
{
    fileRequests << title + QLatin1Char('|') + startFolder + QLatin1Char('|') + filter +
                        QLatin1Char('|') + defaultExtension;
    return files.isEmpty() ? QString() : files.dequeue();
}

void ScriptedDialogs::information(const QString& text)
{
    shown << text;
    if (holdMs > 0)
        QTest::qWait(holdMs);
}

void ScriptedDialogs::runWithProgress(const QString& label,
                                      const std::function<void(const ProgressReport&)>& work)
{
    progressLabels << label;
    const int cancelAfter = this->cancelAfter;
    std::thread worker([&work, cancelAfter] {
        work([cancelAfter](int done, int) { return cancelAfter < 0 || done < cancelAfter; });
    });
    worker.join();
}
