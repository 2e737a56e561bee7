#include "import/pageencoder.h"
#include "import/pagesource.h"
#include "import/scoreimport.h"
#include "import/scorepdf.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <vector>

// Adding a 40-page A4 score (engraving: staff lines, note heads, text, made by Qt's PDF
// writer) to a project folder: the time a page takes, and the process's memory (resident
// set) while the pages go by, which must not grow with the number of pages. Then the size
// of a page as GIF and as JPEG for an engraved page and for a scanned one, and the time
// drawing and each encoder take. A plain program that prints its figures.

namespace {

// A figure from /proc/self/status in MB ("VmRSS", "VmHWM").
double statusMb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(line.indexOf(':') + 1).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}

// Starts the peak resident set afresh (Linux: writing 5 to clear_refs).
void resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

void importScore(const QString& dir)
{
    const QString pdf = QDir(dir).filePath(QStringLiteral("Score.pdf"));
    if (!scorepdf::write(pdf, QList<scorepdf::Kind>(40, scorepdf::Kind::Engraving))) {
        std::printf("cannot write the PDF\n");
        return;
    }
    const QString folder = QDir(dir).filePath(QStringLiteral("project"));
    QDir(dir).mkdir(QStringLiteral("project"));
    std::printf("40-page A4 engraving, %.0f KB PDF, drawn at %.0f dpi\n",
                QFileInfo(pdf).size() / 1024.0, scoreimport::PageLimits::renderDpi);
    resetPeak();
    std::printf("resident before: %.1f MB\n", statusMb("VmRSS"));
    QElapsedTimer clock;
    clock.start();
    std::vector<double> times;
    qint64 last = 0;
    const auto r = scoreimport::importPages(pdf, folder, [&](int done, int) {
        const qint64 now = clock.nsecsElapsed();
        if (done > 0)
            times.push_back((now - last) / 1e6);
        last = now;
        if (done == 1 || done % 10 == 0)
            std::printf("  after %2d pages: resident %.1f MB, peak %.1f MB\n", done,
                        statusMb("VmRSS"), statusMb("VmHWM"));
        return true;
    });
    const double total = clock.nsecsElapsed() / 1e6;
    if (!r.ok()) {
        std::printf("import failed: %s\n", qPrintable(r.error));
        return;
    }
    qint64 bytes = 0;
    int gifs = 0;
    for (const QString& name : r.fileNames) {
        bytes += QFileInfo(QDir(folder).filePath(name)).size();
        gifs += name.endsWith(QLatin1String(".gif"));
    }
    std::sort(times.begin(), times.end());
    std::printf("total %.0f ms: %.0f ms a page (median %.0f, slowest %.0f); %d GIF, %d JPEG, "
                "%.0f KB a page\n",
                total, total / 40, times[times.size() / 2], times.back(), gifs, 40 - gifs,
                bytes / 40.0 / 1024);
}

// One page of each kind: its sizes as GIF and JPEG, and what each step costs.
void compareFormats(const QString& dir)
{
    const QString pdf = QDir(dir).filePath(QStringLiteral("Kinds.pdf"));
    if (!scorepdf::write(pdf, {scorepdf::Kind::Engraving, scorepdf::Kind::Scan}))
        return;
    QString error;
    const auto source = scoreimport::PageSource::open(pdf, &error);
    if (!source)
        return;
    const char* names[] = {"engraved page", "scanned page (grey, grain)"};
    for (int i = 0; i < 2; ++i) {
        QElapsedTimer clock;
        clock.start();
        const QImage page = source->page(i, &error);
        const double draw = clock.nsecsElapsed() / 1e6;
        clock.restart();
        const QByteArray gif = pageencoder::encodeGif(page);
        const double gifTime = clock.nsecsElapsed() / 1e6;
        clock.restart();
        const QByteArray jpeg = pageencoder::encodeJpeg(page);
        const double jpegTime = clock.nsecsElapsed() / 1e6;
        const QByteArray jpeg80 = pageencoder::encodeJpeg(page, 80);
        const pageencoder::Encoded chosen = pageencoder::encode(page);
        std::printf("%s, %d x %d: drawn in %.0f ms\n", names[i], page.width(), page.height(), draw);
        std::printf("  GIF %7.0f KB (%.0f ms)  JPEG q%d %7.0f KB (%.0f ms)  JPEG q80 %7.0f KB"
                    "  8-bit BMP %7.0f KB  -> %s\n",
                    gif.size() / 1024.0, gifTime, pageencoder::jpegQuality, jpeg.size() / 1024.0,
                    jpegTime, jpeg80.size() / 1024.0,
                    (qint64(page.width() + 3) / 4 * 4 * page.height() + 1078) / 1024.0,
                    qPrintable(chosen.extension()));
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QTemporaryDir dir;
    importScore(dir.path());
    compareFormats(dir.path());
    return 0;
}
