// The update answer: the body of the HTTP reply, cut into lines, and its "Version".
//
// What is not covered here: the reply itself (the cap on its length, the time-out, the
// HTTP status) is read inside UpdateCheck from a QNetworkReply, which needs a network
// access manager and an event loop. The address check of the update host (requestUrl)
// reads a setting, not the network, and is run on the same bytes as a bonus.
#include "fuzzinput.h"
#include "splash/updatecheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using fuzzinput::require;
    const QByteArray body = fuzzinput::bytes(data, size);
    const QStringList lines = updatecheck::answerLines(body);
    for (const QString& line : lines)
        require(!line.contains(QLatin1Char('\r')) && !line.contains(QLatin1Char('\n')));
    const QString version = updatecheck::answerVersion(lines);
    require(updatecheck::newerVersion(lines, version) == false);
    updatecheck::newerVersion(lines, QStringLiteral("3.1"));
    if (size < 300) {
        const QUrl url = updatecheck::requestUrl(QString::fromUtf8(body));
        require(!url.isValid() || url.scheme() == QLatin1String("http"));
    }
    return 0;
}
