// Marker entries of a notes data file: a time name and brace groups {x}{y}{page}{caption}.
#include "project/markerentry.h"
#include "fuzzinput.h"
#include "project/textfile.h"
#include "project/textlist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using fuzzinput::require;
    const QString line = textfile::decode(fuzzinput::bytes(data, size));
    const QString name = TextList::nameOf(line);
    const QString value = TextList::valueOf(line);
    try {
        markerentry::timeOfName(name);
    } catch (const markerentry::ConversionError& e) {
        require(!e.text().isEmpty());
    }
    const markerentry::Groups groups = markerentry::parseValue(value);
    try {
        const markerentry::Place place = markerentry::parsePlace(value);
        require(place.caption == groups.caption);
    } catch (const markerentry::ConversionError& e) {
        require(!e.text().isEmpty());
    }
    // A caption set on the entry reads back as that caption, with the place unchanged,
    // when neither holds a brace.
    const QString caption = groups.caption.left(32);
    const markerentry::Groups again =
        markerentry::parseValue(markerentry::withCaption(value, caption));
    if (!(groups.x + groups.y + groups.page + caption).contains(QLatin1Char('}')))
        require(again.x == groups.x && again.y == groups.y && again.page == groups.page &&
                again.caption == caption);
    return 0;
}
