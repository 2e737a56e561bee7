#pragma once

#include <QString>
#include <QStringList>

// The recordings a project can be made from: every format the player plays through FFmpeg
// that musicians commonly have, besides an audio-CD track.
namespace audioformats {

// Extensions in upper case without the dot, in the order the audio dialogs list them:
// WAV, WMA, MP3, CDA first, then FLAC, OGG, OGA, OPUS, M4A, AAC, ...
QStringList extensions();

// The audio dialogs' filter: "Audio files|*.WAV;*.WMA;*.MP3;*.CDA;*.FLAC;...|All|*.*".
QString dialogFilter();

} // namespace audioformats
