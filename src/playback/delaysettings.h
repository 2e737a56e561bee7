#pragma once

#include <QString>

// The audio delay of each audio output, kept in the program's settings (not in a project):
// switching from speakers to headphones switches the delay. An output never set has 0.
// The settings live in "folivant/settings.conf" under the user's configuration folder
// ($XDG_CONFIG_HOME, else ~/.config).
class DelaySettings {
public:
    // Milliseconds, already brought into the allowed range.
    int delayFor(const QString& device) const;
    void setDelayFor(const QString& device, int ms);

    static QString settingsFile();
};
