// Numbers as they arrive in project files, marker entries and session text.
#include "project/numbertext.h"
#include "fuzzinput.h"
#include "project/textfile.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using fuzzinput::require;
    const QString text = textfile::decode(fuzzinput::bytes(data, size));
    numbertext::parseInt(text);
    const auto v = numbertext::parse(text);
    if (!v)
        return 0;
    require(std::isfinite(*v));
    // What the program does with a number it read: rounds it, stores it as text and
    // reads that text back.
    const double hundredths = numbertext::roundHundredths(*v);
    numbertext::roundTens(*v);
    const QString written = numbertext::format(hundredths);
    const auto back = numbertext::parse(written);
    require(back.has_value());
    require(std::isfinite(hundredths) || written == QLatin1String("0"));
    if (std::isfinite(hundredths) && std::fabs(hundredths) < 1e15)
        require(std::fabs(*back - hundredths) <= 1e-9 * std::max(1.0, std::fabs(hundredths)));
    return 0;
}
