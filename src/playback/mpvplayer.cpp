#include "playback/mpvplayer.h"

// Placeholder until the libmpv adapter lands.
MpvPlayer::MpvPlayer(QObject* parent) : Player(parent) {}
MpvPlayer::~MpvPlayer() = default;
void MpvPlayer::setSource(const QString& path) { m_source = path; }
double MpvPlayer::position() const { return 0; }
void MpvPlayer::setPosition(double) {}
QString MpvPlayer::positionText() const { return QStringLiteral("00:00"); }
double MpvPlayer::duration() const { return 0; }
void MpvPlayer::setRate(double rate) { m_rate = rate; }
void MpvPlayer::play() {}
void MpvPlayer::pause() {}
void MpvPlayer::stop() {}
