// Build tool: turns the README's user guide into the HTML page that "Help" opens.
//   makeguide README.md OUT.html
#include <QFile>
#include <QGuiApplication>
#include <QTextDocument>
#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: makeguide README.md OUT.html\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "makeguide: cannot read %s\n", argv[1]);
        return 1;
    }
    QTextDocument doc;
    doc.setMarkdown(QString::fromUtf8(in.readAll()));
    doc.setMetaInformation(QTextDocument::DocumentTitle, QStringLiteral("Folivant user guide"));
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        out.write(doc.toHtml().toUtf8()) < 0) {
        std::fprintf(stderr, "makeguide: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
