#pragma once

#include <QString>
#include <stdexcept>

// A marker entry is one line name=value: the name is a time in seconds rounded to
// hundredths (during automatic marking a sequence number), the value is the brace
// groups {x}{y}{page} with an optional {caption}. x and y are millionths of the
// displayed page's width and height, page is 0-based.
namespace markerentry {

// Raised when an entry's time or place does not read as a number; the handler that met
// it ends and reports the error.
class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(const QString& text);
    QString text() const { return m_text; }

private:
    QString m_text;
};

struct Groups {
    QString x, y, page, caption;
};

struct Place {
    long long x = 0;
    long long y = 0;
    long long page = 0;
    QString caption;
};

// time=..., with the time rounded to hundredths and written in its shortest form.
QString build(double seconds, long long x, long long y, long long page);
// number={x}{y}{page}.
QString buildSequence(long long number, long long x, long long y, long long page);
// The next number of the automatic-marking counter: 0 at program start, +1 per call,
// never reset during the run.
long long nextSequenceNumber();

// Reads four brace groups in turn: each skips up to and including the next "{" and
// collects up to the next "}". Text outside the braces is ignored; missing groups are
// empty.
Groups parseValue(const QString& value);
// As parseValue, with x, y and page read as integers; throws ConversionError.
Place parsePlace(const QString& value);
// {x}{y}{page}{caption} from the first three groups of value.
QString withCaption(const QString& value, const QString& caption);

// Reads an entry name as a time rounded to hundredths; throws ConversionError.
double timeOfName(const QString& name);

// The place of a click in millionths of the displayed image size, rounded to a
// multiple of 10: (click - half marker size) * 1000000 / size, integer division.
long long placeFromClick(int click, int markerSize, int imageSize);

} // namespace markerentry
