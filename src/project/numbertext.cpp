#include "project/numbertext.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace numbertext {

double roundTo(double v, double unit)
{
    const long double scaled = static_cast<long double>(v) / static_cast<long double>(unit) + 0.5L;
    const long double whole = std::trunc(scaled);
    return static_cast<double>(whole * static_cast<long double>(unit));
}

long long roundTens(double v)
{
    const double tens = roundTo(v, 10.0);
    if (std::isnan(tens))
        return 0;
    // 2^63 is exactly representable; every double below it converts without overflow.
    if (tens >= 9223372036854775808.0)
        return LLONG_MAX;
    if (tens < -9223372036854775808.0)
        return LLONG_MIN;
    return static_cast<long long>(tens);
}

QString format(double v)
{
    if (!std::isfinite(v))
        return QStringLiteral("0");
    if (v == 0.0)
        return QStringLiteral("0");
    // Up to 15 significant digits, then strip trailing zeros; fixed notation only.
    char buf[400];
    const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(v))));
    int decimals = 14 - exponent;
    if (decimals < 0)
        decimals = 0;
    if (decimals > 340)
        decimals = 340;
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    // The rounding of %.*f may carry into a new digit (9.99... -> 10.0); that only adds
    // a zero at the end, which the stripping below removes.
    QString text = QString::fromLatin1(buf);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    return text;
}

std::optional<double> parse(const QString& text)
{
    QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 400)
        return std::nullopt;
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<long long> parseInt(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 30)
        return std::nullopt;
    bool ok = false;
    const long long v = t.toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return v;
}

} // namespace numbertext
