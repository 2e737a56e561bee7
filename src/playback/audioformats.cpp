#include "playback/audioformats.h"

namespace audioformats {

QStringList extensions()
{
    return {QStringLiteral("WAV"),  QStringLiteral("WMA"),  QStringLiteral("MP3"),
            QStringLiteral("CDA"),  QStringLiteral("FLAC"), QStringLiteral("OGG"),
            QStringLiteral("OGA"),  QStringLiteral("OPUS"), QStringLiteral("M4A"),
            QStringLiteral("AAC"),  QStringLiteral("MP4"),  QStringLiteral("AIF"),
            QStringLiteral("AIFF"), QStringLiteral("MKA"),  QStringLiteral("WEBM"),
            QStringLiteral("WV"),   QStringLiteral("APE"),  QStringLiteral("MP2"),
            QStringLiteral("AC3")};
}

QString dialogFilter()
{
    QStringList patterns;
    for (const QString& ext : extensions())
        patterns << QStringLiteral("*.") + ext;
    return QStringLiteral("Audio files|") + patterns.join(QLatin1Char(';')) +
           QStringLiteral("|All|*.*");
}

} // namespace audioformats
