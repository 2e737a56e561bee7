#include "benchsupport.h"
#include "project/pageimage.h"

#include <QDir>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QProcess>
#include <QScrollArea>
#include <QTemporaryDir>

#include <algorithm>

// Decoding a 5000 x 7000 scanned page, with the page decoder and with Qt's own JPEG
// reader as the yardstick, and decoding it and showing it in a full-HD scroll view.
// Argument "page": 0, a clean grey page (white, one black block); 1, a colour scan with
// light grain, 4:2:0 chroma at quality 85, as scanners and cameras write; 2, the worst
// case: heavy colour grain, full-resolution chroma at quality 90.

namespace {

// A 5000 x 7000 white page with a black block, made by ImageMagick; extra options go
// before the output name. Empty when convert fails.
QString makePage(const QString& dir, const QString& name, const QStringList& extra = {})
{
    const QString path = QDir(dir).filePath(name);
    QProcess convert;
    convert.start(QStringLiteral("convert"),
                  QStringList{QStringLiteral("-size"), QStringLiteral("5000x7000"),
                              QStringLiteral("xc:white"), QStringLiteral("-fill"),
                              QStringLiteral("black"), QStringLiteral("-draw"),
                              QStringLiteral("rectangle 500,700 1000,1400")}
                      << extra << path);
    const bool ok = convert.waitForFinished(300000) &&
                    convert.exitStatus() == QProcess::NormalExit && convert.exitCode() == 0;
    return ok ? path : QString();
}

class Pages {
public:
    Pages()
    {
        const QString dir = m_dir.path();
        m_files[0] = makePage(dir, QStringLiteral("clean.jpg"));
        m_files[1] =
            makePage(dir, QStringLiteral("scan.jpg"),
                     {QStringLiteral("-attenuate"), QStringLiteral("0.1"), QStringLiteral("+noise"),
                      QStringLiteral("Gaussian"), QStringLiteral("-sampling-factor"),
                      QStringLiteral("2x2"), QStringLiteral("-quality"), QStringLiteral("85")});
        m_files[2] = makePage(dir, QStringLiteral("grainy.jpg"),
                              {QStringLiteral("-attenuate"), QStringLiteral("0.3"),
                               QStringLiteral("+noise"), QStringLiteral("Gaussian"),
                               QStringLiteral("-quality"), QStringLiteral("90")});
    }
    QString file(int64_t kind) const { return m_files[std::clamp<int64_t>(kind, 0, 2)]; }

private:
    QTemporaryDir m_dir;
    QString m_files[3];
};

const Pages& pages()
{
    static const Pages made;
    return made;
}

QImage folivantDecode(const QString& path)
{
    return pageimage::loadJpeg(path);
}

QImage qtDecode(const QString& path)
{
    QImageReader reader(path, "jpg");
    reader.setAllocationLimit(1024);
    return reader.read();
}

template <QImage (*Decode)(const QString&)> void decodeOnly(benchmark::State& state)
{
    const QString file = pages().file(state.range(0));
    for (auto _ : state) {
        QImage image = Decode(file);
        if (image.size() != QSize(5000, 7000)) {
            state.SkipWithError("the page did not decode");
            break;
        }
        benchmark::DoNotOptimize(image.constBits());
    }
}

// Decode, hand the picture to a label in a scroll view the size of a full-HD screen and
// render the view, as the page display does when a page is turned.
template <QImage (*Decode)(const QString&)> void decodeAndShow(benchmark::State& state)
{
    const QString file = pages().file(state.range(0));
    QScrollArea view;
    auto* label = new QLabel;
    view.setWidget(label);
    view.resize(1920, 1080);
    view.show();
    for (auto _ : state) {
        QImage image = Decode(file);
        if (image.isNull()) {
            state.SkipWithError("the page did not decode");
            break;
        }
        label->setPixmap(QPixmap::fromImage(std::move(image)));
        label->adjustSize();
        const QPixmap shown = view.grab();
        benchmark::DoNotOptimize(shown.cacheKey());
    }
}

void pageArgs(benchmark::internal::Benchmark* b)
{
    // CPU time counts every thread: Qt converts large pictures on its thread pool.
    b->ArgName("page")
        ->DenseRange(0, 2)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(2.0)
        ->MeasureProcessCPUTime();
}

BENCHMARK_TEMPLATE(decodeOnly, folivantDecode)->Name("JpegDecode/pageimage")->Apply(pageArgs);
BENCHMARK_TEMPLATE(decodeOnly, qtDecode)->Name("JpegDecode/QImageReader")->Apply(pageArgs);
BENCHMARK_TEMPLATE(decodeAndShow, folivantDecode)
    ->Name("JpegDecodeAndShow/pageimage")
    ->Apply(pageArgs);
BENCHMARK_TEMPLATE(decodeAndShow, qtDecode)
    ->Name("JpegDecodeAndShow/QImageReader")
    ->Apply(pageArgs);

} // namespace

FOLIVANT_BENCHMARK_MAIN();
