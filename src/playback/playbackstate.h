#pragma once

#include <QString>

// The playback state of the main window that the follow tick, the transport, the replay
// range, the tempo and the zoom share. Lives for the run of the program.
struct PlaybackState {
    // Change memory of the follow tick.
    double lastRounded = -2.0;
    QString lastStatus;
    int lastShownIndex = -1;
    // Set by every change that makes the shown marker stale; cleared once shown.
    bool refreshRequest = false;
    // Set when the marker is switched back on; cleared by show entry.
    bool reshowRequest = false;
    bool markerHidden = false;
    bool timelineHeld = false;

    // Replay range.
    double replayStart = 0;
    double replayEnd = 0;
    bool replayActive = false;

    // How much later than the player's position the sound is heard, in seconds of wall
    // time (the audio delay of the output in use); 0 shifts nothing.
    double audioDelay = 0;

    int zoomSteps = 0;
    bool keepTopLeft = false;
    // Read ahead: the top of the next page shows in the played part of the view before a
    // page break (a half-page turn).
    bool readAhead = false;

    // Set while a freshly loaded source is being primed: the first playing state pauses
    // at 0 and sets the timeline length.
    bool priming = false;
};
