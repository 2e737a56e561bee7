#include "support/scriptedplayer.h"

#include "project/numbertext.h"

void ScriptedPlayer::setSource(const QString& path)
{
    calls << QStringLiteral("setSource:") + path;
    m_source = path;
    if (path.isEmpty()) {
        m_status.clear();
        m_state = Player::Other;
        m_position = 0;
    }
}

void ScriptedPlayer::setPosition(double seconds)
{
    calls << QStringLiteral("setPosition:") + numbertext::format(seconds);
    m_position = seconds;
    emit timingChanged();
}

QString ScriptedPlayer::positionText() const
{
    const int s = static_cast<int>(m_position);
    return QStringLiteral("%1:%2")
        .arg(s / 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

void ScriptedPlayer::setRate(double rate)
{
    calls << QStringLiteral("setRate:") + numbertext::format(rate);
    m_rate = rate;
    emit timingChanged();
}

void ScriptedPlayer::play()
{
    calls << QStringLiteral("play");
    if (autoState && !m_source.isEmpty())
        setState(Player::Playing, QStringLiteral("Playing"));
}

void ScriptedPlayer::pause()
{
    calls << QStringLiteral("pause");
    if (autoState && !m_source.isEmpty())
        setState(Player::Paused, QStringLiteral("Paused"));
}

void ScriptedPlayer::stop()
{
    calls << QStringLiteral("stop");
    if (autoState && !m_source.isEmpty())
        setState(Player::Stopped, QStringLiteral("Stopped"));
}

void ScriptedPlayer::setState(int state, const QString& status)
{
    setStateQuietly(state, status);
    emit statusChanged();
}

void ScriptedPlayer::setStateQuietly(int state, const QString& status)
{
    m_state = state;
    m_status = status;
}
