#pragma once

#include <QObject>
#include <QPixmap>

class QGroupBox;
class QLabel;
class QListView;
class QMenu;
class ClickPicture;
class LinkLabel;
class SheetView;
struct PlaybackState;

// Zoom of the page image (five steps in and out, each from the current truncated
// size), and the two marker options: show/hide the marker (which also stops following)
// keep the marker at the top-left of the view, and read ahead (the half-page turn: the top
// of the next page shows in the played part of the view before a page break).
class ZoomAndMarker : public QObject {
    Q_OBJECT
public:
    ZoomAndMarker(PlaybackState& state, SheetView& sheet, QListView& notesList,
                  QObject* parent = nullptr);

    // The "Marker Options" group with the two LEDs and their labels.
    QGroupBox* markerBox() const { return m_box; }
    QLabel* zoomLabel() const { return m_zoomLabel; }
    // The page image's pop-up menu `ImageMenu`: "Zoom In", "Zoom Out", "Cancel Zoom".
    // A right click on the page opens it; a right click on a shape opens the shape's own.
    QMenu* imageMenu() const { return m_imageMenu; }

    void zoomIn();
    void zoomOut();
    void cancelZoom();
    // Re-applies a number of steps after the zoom was cancelled (page switches).
    void applySteps(int steps);

    // The marker-display switch (the tag of `MarkerBox_EnabledLED`): 0 shown, 1 hidden.
    int markerSwitch() const { return m_markerSwitch; }
    void setMarkerSwitch(int value) { m_markerSwitch = value; }
    // LED or label click: toggle, then apply.
    void markerDisplayCommand();
    // Acts only when the switch differs from the last applied value.
    void applyMarkerDisplay();
    // Shows `Point` in front when the marker is switched on.
    void showMarkerRule();
    void keepTopLeftCommand();
    // LED or label click of "Read Ahead": toggles the half-page turn (off at start).
    void readAheadCommand();

    static QString zoomText(int steps);
    static QPixmap ledPixmap(bool green);

private:
    void zoomBy(double factor);
    void updateLabel();

    PlaybackState& m_state;
    SheetView& m_sheet;
    QListView& m_notesList;
    QGroupBox* m_box;
    QLabel* m_zoomLabel;
    QMenu* m_imageMenu;
    ClickPicture* m_enabledLed;
    ClickPicture* m_topLeftLed;
    LinkLabel* m_enabledLabel;
    LinkLabel* m_topLeftLabel;
    ClickPicture* m_readAheadLed;
    LinkLabel* m_readAheadLabel;
    QLabel* m_ledGreen;
    QLabel* m_ledRed;
    int m_markerSwitch = 0;
    int m_lastApplied = -1;
};
