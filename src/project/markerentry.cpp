#include "project/markerentry.h"

#include "project/numbertext.h"

namespace markerentry {

ConversionError::ConversionError(const QString& text)
    : std::runtime_error(text.toStdString())
    , m_text(text)
{
}

namespace {

QString valueText(long long x, long long y, long long page)
{
    return QStringLiteral("={%1}{%2}{%3}").arg(x).arg(y).arg(page);
}

long long readInt(const QString& text)
{
    const auto v = numbertext::parseInt(text);
    if (!v)
        throw ConversionError(
            QStringLiteral("'%1' is not a valid integer value").arg(text.left(200)));
    return *v;
}

} // namespace

QString build(double seconds, long long x, long long y, long long page)
{
    return numbertext::format(numbertext::roundHundredths(seconds)) + valueText(x, y, page);
}

QString buildSequence(long long number, long long x, long long y, long long page)
{
    return QString::number(number) + valueText(x, y, page);
}

long long nextSequenceNumber()
{
    static long long counter = 0;
    return counter++;
}

Groups parseValue(const QString& value)
{
    QString groups[4];
    qsizetype i = 0;
    const qsizetype n = value.size();
    for (QString& group : groups) {
        while (i < n && value[i] != QLatin1Char('{'))
            ++i;
        if (i >= n)
            break;
        ++i; // the "{"
        const qsizetype close = value.indexOf(QLatin1Char('}'), i);
        if (close < 0) {
            group = value.mid(i);
            i = n;
            break;
        }
        group = value.mid(i, close - i);
        i = close + 1;
    }
    return {groups[0], groups[1], groups[2], groups[3]};
}

Place parsePlace(const QString& value)
{
    const Groups g = parseValue(value);
    Place p;
    p.x = readInt(g.x);
    p.y = readInt(g.y);
    p.page = readInt(g.page);
    p.caption = g.caption;
    return p;
}

QString withCaption(const QString& value, const QString& caption)
{
    const Groups g = parseValue(value);
    return QLatin1Char('{') + g.x + QStringLiteral("}{") + g.y + QStringLiteral("}{") + g.page +
           QStringLiteral("}{") + caption + QLatin1Char('}');
}

double timeOfName(const QString& name)
{
    const auto v = numbertext::parse(name);
    if (!v)
        throw ConversionError(
            QStringLiteral("'%1' is not a valid floating point value").arg(name.left(200)));
    return numbertext::roundHundredths(*v);
}

long long placeFromClick(int click, int markerSize, int imageSize)
{
    if (imageSize <= 0)
        return 0;
    const long long d = static_cast<long long>(click) - markerSize / 2;
    const long long v = d * 1000000LL / imageSize;
    return numbertext::roundTens(static_cast<double>(v));
}

} // namespace markerentry
