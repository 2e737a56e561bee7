#pragma once

#include <QString>
#include <optional>

// Numbers as the program stores, compares and sends them.
namespace numbertext {

// trunc(v / unit + 0.5) * unit, with the division and the addition carried out in
// extended precision before the truncation. With unit 0.01, 0.125 gives 0.12 (it lies
// exactly halfway as a base-2 number) and 12.345 gives 12.35.
double roundTo(double v, double unit);

// Playback times and positions: hundredths of a second.
inline double roundHundredths(double v)
{
    return roundTo(v, 0.01);
}

// Marker places: multiples of 10 (pixels and millionths), as an integer. Values beyond
// the range of long long give its nearest end; NaN gives 0.
long long roundTens(double v);

// Shortest decimal text with up to 15 significant digits: no exponent, no trailing
// zeros, no decimal point for whole numbers, "." as separator (12.5, 60, -0.13).
QString format(double v);

// Reads a decimal number written by format(); "," is accepted in place of ".".
// Surrounding blanks are allowed; anything else fails.
std::optional<double> parse(const QString& text);

// Reads a decimal integer (optional sign, digits only, surrounding blanks allowed).
std::optional<long long> parseInt(const QString& text);

} // namespace numbertext
