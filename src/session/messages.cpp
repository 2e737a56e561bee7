#include "session/messages.h"

#include "project/numbertext.h"

namespace messages {

QString position(double seconds)
{
    return numbertext::format(numbertext::roundTo(seconds, 0.00001));
}

QString join(const QStringList& lines)
{
    return lines.join(QLatin1Char('\n'));
}

} // namespace messages
