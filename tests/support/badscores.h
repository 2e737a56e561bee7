#pragma once

#include "import/scorepdf.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

// Scores the program must refuse with a message, made in dir at test time: a PDF cut off
// after 300 bytes, an empty one and, when qpdf is installed, one locked with a password.
inline QStringList badScores(const QString& dir)
{
    const QString good = QDir(dir).filePath(QStringLiteral("Whole.pdf"));
    if (!scorepdf::write(good, {scorepdf::Kind::Engraving}))
        return {};
    QFile whole(good);
    if (!whole.open(QIODevice::ReadOnly))
        return {};
    QStringList bad{
        testfiles::writeFile(QDir(dir).filePath(QStringLiteral("Broken.pdf")), whole.read(300)),
        testfiles::writeFile(QDir(dir).filePath(QStringLiteral("Empty.pdf")), {})};
    const QString locked = QDir(dir).filePath(QStringLiteral("Locked.pdf"));
    if (!QStandardPaths::findExecutable(QStringLiteral("qpdf")).isEmpty() &&
        testfiles::run(QStringLiteral("qpdf"), {QStringLiteral("--encrypt"), QStringLiteral("user"),
                                                QStringLiteral("owner"), QStringLiteral("256"),
                                                QStringLiteral("--"), good, locked}))
        bad << locked;
    return bad;
}
