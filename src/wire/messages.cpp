#include "wire/messages.h"

#include "project/numbertext.h"
#include "project/textfile.h"
#include "project/textlist.h"

#include <climits>
#include <cmath>
#include <variant>

namespace messages {

namespace {

QString line(char key, const QString& value)
{
    return QString(QLatin1Char(key)) + QLatin1Char('=') + value;
}

QString flagText(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

QString floatError(const QString& value)
{
    return QStringLiteral("'%1' is not a valid floating point value").arg(value.left(200));
}

QString integerError(const QString& value)
{
    return QStringLiteral("'%1' is not a valid integer value").arg(value.left(200));
}

// A value converted for a key, or the conversion error text.
template <typename T> using Converted = std::variant<T, QString>;

Converted<double> toDouble(const QString& value)
{
    if (const auto v = numbertext::parse(value))
        return *v;
    return floatError(value);
}

// The integer part of a decimal number; beyond the range of the integer type it is an
// error rather than an undefined conversion.
Converted<long long> toIntegerPart(const QString& value)
{
    const auto v = numbertext::parse(value);
    if (!v)
        return floatError(value);
    const double whole = std::trunc(*v);
    if (whole >= 9223372036854775807.0 || whole < -9223372036854775807.0)
        return integerError(value);
    return static_cast<long long>(whole);
}

Converted<long long> toInteger(const QString& value)
{
    if (const auto v = numbertext::parseInt(value))
        return *v;
    return integerError(value);
}

} // namespace

QString position(double seconds)
{
    return numbertext::format(numbertext::roundTo(seconds, 0.00001));
}

QString join(const QStringList& lines)
{
    return lines.join(QLatin1Char('\n'));
}

QString goMessage(long long timelineMaximum)
{
    return join({line('J', QString::number(timelineMaximum)), QStringLiteral("T=1"),
                 QStringLiteral("U=1"), QStringLiteral("I=0")});
}

QString playMessage(double pos, const QString& tempoText)
{
    return join({line('C', position(pos)), QStringLiteral("A=1"), line('T', tempoText)});
}

QString stopMessage(bool replayActive, double pos)
{
    return join(
        {QStringLiteral("S=1"), line('I', flagText(replayActive)), line('C', position(pos))});
}

QString resumeMessage(double pos, const QString& tempoText, bool replayActive)
{
    if (replayActive)
        return playMessage(pos, tempoText);
    return join({line('C', position(pos)), QStringLiteral("A=1")});
}

QString pauseMessage(double pos)
{
    return join({line('C', position(pos)), pauseOnlyMessage()});
}

QString pauseOnlyMessage()
{
    return QStringLiteral("P=1");
}

QString rewindMessage()
{
    return QStringLiteral("C=0\nB=1");
}

QString cueMessage(double pos)
{
    return line('C', position(pos));
}

QString markerChosenMessage(double entryTime)
{
    return line('C', numbertext::format(numbertext::roundHundredths(entryTime)));
}

QString replayStartMessage(double start)
{
    return line('R', numbertext::format(start));
}

QString replayEndMessage(double end)
{
    return line('Y', numbertext::format(end));
}

QString replayClearMessage()
{
    return QStringLiteral("U=1");
}

QString replayPlayMessage(const QString& tempoText)
{
    return join({QStringLiteral("G=1"), line('T', tempoText)});
}

QString tempoMessage(const QString& tempoText)
{
    return line('T', tempoText);
}

QString statusMessage(const QString& statusText)
{
    return line('M', statusText);
}

bool isStatusWorthSending(const QString& statusText)
{
    return !statusText.isEmpty() && statusText != QLatin1String("0");
}

QString endMessage()
{
    return QStringLiteral("D=1");
}

QString positionMessage(double pos)
{
    return line('Z', position(pos));
}

QString pingMessage(long long pingClock)
{
    return line('W', QString::number(pingClock));
}

QString connectedText()
{
    return QStringLiteral("Q=1");
}

QString removedText()
{
    return QStringLiteral("D=1");
}

QString latencyText(double value)
{
    return line('O', numbertext::format(value)) + QLatin1Char('\n');
}

QString echoText(const QString& pingValue)
{
    return line('W', pingValue);
}

double latency(long long pingClock, double echoed)
{
    return numbertext::roundTo((static_cast<double>(pingClock) - echoed) * 0.5, 0.00001);
}

std::optional<int> joinTimerInterval(double tempo)
{
    if (!std::isfinite(tempo) || tempo <= 0.0)
        return std::nullopt;
    const double ms = std::trunc(100.0 / tempo);
    if (ms >= static_cast<double>(INT_MAX))
        return INT_MAX;
    return ms < 1.0 ? 1 : static_cast<int>(ms);
}

std::optional<QString> readGuestText(const QString& text, GuestActions& actions)
{
    const QStringList lines = textfile::splitLines(text);
    actions.onLinesRead(lines);
    const TextList list(lines);

    for (const char* k = kGuestKeyOrder; *k; ++k) {
        const char key = *k;
        const qsizetype at = list.indexOf(QString(QLatin1Char(key)));
        if (at < 0)
            continue;
        const QString value = TextList::valueOf(list.lines()[at]);
        const bool isOne = value == QLatin1String("1");

        switch (key) {
        case 'Z': {
            const auto v = toDouble(value);
            if (auto* e = std::get_if<QString>(&v))
                return *e;
            actions.onPosition(std::get<double>(v));
            break;
        }
        case 'C': {
            actions.beforeCue();
            const auto v = toDouble(value);
            if (auto* e = std::get_if<QString>(&v))
                return *e;
            actions.onCue(std::get<double>(v));
            break;
        }
        case 'J': {
            const auto v = toIntegerPart(value);
            if (auto* e = std::get_if<QString>(&v))
                return *e;
            actions.onTimelineMaximum(std::get<long long>(v));
            break;
        }
        case 'T': {
            const auto v = toDouble(value);
            if (auto* e = std::get_if<QString>(&v))
                return *e;
            actions.onTempo(value, std::get<double>(v));
            break;
        }
        case 'R':
        case 'Y': {
            const auto v = toDouble(value);
            if (auto* e = std::get_if<QString>(&v))
                return *e;
            if (key == 'R')
                actions.onReplayStart(std::get<double>(v));
            else
                actions.onReplayEnd(std::get<double>(v));
            break;
        }
        case 'U':
            actions.onReplayClear();
            break;
        case 'D':
            if (isOne)
                actions.onHostEnded();
            break;
        case 'S':
            if (isOne)
                actions.onStop();
            break;
        case 'P':
            if (isOne)
                actions.onPause();
            break;
        case 'I': {
            const auto v = toInteger(value);
            if (auto* e = std::get_if<QString>(&v))
                return *e;
            actions.onReplayActive(std::get<long long>(v) != 0);
            break;
        }
        case 'A':
            if (isOne)
                actions.onPlay();
            break;
        case 'G':
            if (isOne)
                actions.onReplayPlay();
            break;
        case 'B':
            if (isOne)
                actions.onRewind();
            break;
        case 'Q':
            if (isOne)
                actions.onAccepted();
            break;
        case 'W':
            actions.onPing(value);
            break;
        case 'O':
            if (const auto v = numbertext::parse(value))
                actions.onLatency(*v);
            break;
        case 'M':
            actions.onPlayerStatus(value);
            break;
        default:
            break;
        }
    }
    return std::nullopt;
}

HostText readHostText(const QString& text)
{
    if (text.startsWith(QLatin1String("W="))) {
        QString value = text.mid(2);
        if (value.isEmpty())
            value = QStringLiteral("0");
        return {HostText::Kind::Echo, value};
    }
    return {HostText::Kind::Nickname, text};
}

} // namespace messages
