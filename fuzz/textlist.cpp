// Project files (.nts) and notes data files (.ntf) as read from disk: bytes decoded as
// UTF-8 or Windows-1252, cut into lines, looked up by name.
#include "project/textlist.h"
#include "fuzzinput.h"
#include "project/textfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using fuzzinput::require;
    const QString text = textfile::decode(fuzzinput::bytes(data, size));
    const QStringList lines = textfile::splitLines(text);
    for (const QString& line : lines)
        require(!line.contains(QLatin1Char('\r')) && !line.contains(QLatin1Char('\n')));

    TextList list(lines);
    // The names a project file is read by, and each line's own name.
    for (const char* name : {"Version", "Audio", "Pages", "Page1", "Title", ""})
        list.value(QString::fromLatin1(name));
    for (qsizetype i = 0; i < list.count() && i < 64; ++i) {
        const QString& line = list.lines()[i];
        const QString name = TextList::nameOf(line);
        const qsizetype at = list.indexOf(name);
        if (line.contains(QLatin1Char('='))) {
            require(at >= 0 && at <= i);
            require(name.size() + 1 + TextList::valueOf(line).size() == line.size());
        }
    }
    list.setValue(QStringLiteral("Title"), text.left(64));
    require(list.value(QStringLiteral("title")) == text.left(64));
    return 0;
}
