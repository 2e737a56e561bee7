// The marker list as a notes data file fills it: its lines, their times, and the edits the
// user makes on them (manual marking, captions).
#include "project/markerlist.h"
#include "fuzzinput.h"
#include "project/markerentry.h"
#include "project/textfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using fuzzinput::require;
    const QStringList lines = textfile::splitLines(textfile::decode(fuzzinput::bytes(data, size)));
    MarkerList list;
    list.setLines(lines);
    require(list.count() == lines.size());

    bool allTimes = true;
    for (qsizetype i = 0; i < list.count(); ++i) {
        try {
            list.time(i);
        } catch (const markerentry::ConversionError&) {
            allTimes = false;
        }
        list.findByName(list.name(i));
        try {
            markerentry::parsePlace(list.value(i));
        } catch (const markerentry::ConversionError&) {
        }
    }
    for (double t : {-1.0, 0.0, 12.5, 1e9}) {
        const qsizetype at = list.firstAfterIfSorted(t);
        require(at >= -1 && at <= list.count());
        if (at >= 0 && at < list.count())
            require(list.time(at) > t);
        if (at > 0)
            require(list.time(at - 1) <= t);
    }

    try {
        const qsizetype at =
            list.insertInTimeOrder(markerentry::build(12.5, 523410, 87340, 0), 12.5);
        require(at >= 0 && at < list.count());
        list.setCaption(at, QStringLiteral("Caption"));
        require(markerentry::parseValue(list.value(at)).caption == QLatin1String("Caption"));
    } catch (const markerentry::ConversionError&) {
        require(!allTimes);
        require(list.count() == lines.size());
    }
    return 0;
}
