#pragma once

#include "platform/clock.h"

#include <QObject>
#include <functional>

class ErrorReport;
class HotKeys;
class LinkLabel;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QWidget;

// Pedal tempo control: a foot pedal that sends F6 taps the beat, and each stroke after
// the first turns the time since the previous stroke into a playback rate, written into
// the tempo field (which applies it to the player and tells a session).
class PedalTempo : public QObject {
    Q_OBJECT
public:
    // tempoField finds the tempo field `PitchEdit` at stroke time (null: no field, the
    // stroke sets no rate). The settings group is made a hidden child of panel.
    PedalTempo(HotKeys& keys, ErrorReport& errors, Clock clock,
               std::function<QLineEdit*()> tempoField, QWidget* panel, QObject* parent = nullptr);

    // The "Pedal Settings" group `PedalSettings` and its opener "Pedal" `PedalShow`.
    QGroupBox* group() const { return m_group; }
    LinkLabel* showLabel() const { return m_show; }

    // One pedal stroke (the F6 hot key). Acts only while pedal tempo control is on.
    void BPMKeyKeyDown();
    // Pedal tempo control switched: the next stroke starts a new timing; F6 is taken
    // exactly while the box is checked.
    void StrokesDoClick();
    // Averaging switched either way: forget the last rate.
    void AverageStrokesClick();
    // A beats text that does not read as a decimal number becomes "1".
    void PedalBeatsChange();
    void PedalShowClick();
    void Label46Click();

    // Times of the previous and current stroke as fractions of a day (0: none yet), and
    // the rate the last stroke wrote as read back from the tempo field (0: none).
    double previousStroke() const { return m_previous; }
    double currentStroke() const { return m_current; }
    double lastRate() const { return m_lastRate; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildGroup(QWidget* panel);

    HotKeys& m_keys;
    ErrorReport& m_errors;
    Clock m_clock;
    std::function<QLineEdit*()> m_tempoField;
    QGroupBox* m_group = nullptr;
    LinkLabel* m_show = nullptr;
    LinkLabel* m_hide = nullptr;
    QLineEdit* m_bpm = nullptr;
    QLineEdit* m_beats = nullptr;
    QCheckBox* m_average = nullptr;
    QCheckBox* m_enabled = nullptr;
    double m_previous = 0;
    double m_current = 0;
    double m_lastRate = 0;
};
