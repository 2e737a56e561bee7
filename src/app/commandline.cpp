#include "app/commandline.h"

#include "projectview/opening.h"
#include "splash/splashform.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>
#include <cstring>

namespace commandline {

Request parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Practise along with a recording while the sheet music follows."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("project"),
                                 QStringLiteral("A Folivant project file (.nts) to open."),
                                 QStringLiteral("[project.nts]"));
    Request r;
    const auto fail = [&r, &parser](const QString& why) {
        r.exit = true;
        r.exitCode = 1;
        r.isError = true;
        r.text = why + QLatin1Char('\n') + parser.helpText();
        return r;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(help)) {
        r.exit = true;
        r.text = parser.helpText();
        return r;
    }
    if (parser.isSet(version)) {
        r.exit = true;
        r.text = QStringLiteral("Folivant %1\n").arg(SplashForm::version());
        return r;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return fail(QStringLiteral("Give one project file at most."));
    if (!files.isEmpty() && !files.first().isEmpty())
        r.project = QFileInfo(files.first()).absoluteFilePath();
    return r;
}

bool asksForText(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--") == 0)
            return false;
        for (const char* option : {"-h", "--help", "--help-all", "-v", "--version"})
            if (std::strcmp(arg, option) == 0)
                return true;
    }
    return false;
}

int print(const Request& request)
{
    const QByteArray text = request.text.toLocal8Bit();
    std::FILE* out = request.isError ? stderr : stdout;
    std::fwrite(text.constData(), 1, size_t(text.size()), out);
    std::fflush(out);
    return request.exitCode;
}

void openAfterSplash(SplashForm& splash, Opening& opening, const QString& project)
{
    // Queued: the main window is shown and laid out (its start screen too) before the
    // project replaces the start screen.
    QObject::connect(
        &splash, &SplashForm::handedOver, &opening,
        [&opening, project] { opening.playOpenFile(project); },
        Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
}

} // namespace commandline
