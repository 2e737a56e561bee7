#include "playback/zoomandmarker.h"

#include "platform/widgets.h"
#include "playback/playbackstate.h"
#include "playback/sheetview.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <cmath>

ZoomAndMarker::ZoomAndMarker(PlaybackState& state, SheetView& sheet, QListView& notesList,
                             QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_sheet(sheet)
    , m_notesList(notesList)
{
    m_box = new QGroupBox(QStringLiteral("Marker Options"));
    m_box->setObjectName(QStringLiteral("MarkerBox"));
    m_zoomLabel = new QLabel(QStringLiteral("1X"));
    m_zoomLabel->setObjectName(QStringLiteral("ZoomLevel"));
    describe(m_zoomLabel, QStringLiteral("1X"),
             QStringLiteral("The zoom level currently set on the notes-page"));

    m_ledGreen = new QLabel(m_box);
    m_ledGreen->setObjectName(QStringLiteral("LEDGreen"));
    m_ledGreen->setPixmap(ledPixmap(true));
    m_ledGreen->hide();
    m_ledRed = new QLabel(m_box);
    m_ledRed->setObjectName(QStringLiteral("LEDRed"));
    m_ledRed->setPixmap(ledPixmap(false));
    m_ledRed->hide();

    m_enabledLed = new ClickPicture;
    m_enabledLed->setObjectName(QStringLiteral("MarkerBox_EnabledLED"));
    m_enabledLed->setPixmap(ledPixmap(true));
    describe(m_enabledLed, QString(),
             QStringLiteral("Set weather the marker  keep sinc with the audio.\r\nAutomaticly "
                            "disabled upon manually changing page."));
    m_enabledLabel = new LinkLabel(QStringLiteral("Hide Marker"));
    m_enabledLabel->setObjectName(QStringLiteral("MarkerBox_EnabledLabel"));
    describe(m_enabledLabel, QStringLiteral("Hide Marker"), QStringLiteral("Show/Hide the Marker"));

    m_topLeftLed = new ClickPicture;
    m_topLeftLed->setObjectName(QStringLiteral("MarkerBox_TopLeftLED"));
    m_topLeftLed->setPixmap(ledPixmap(false));
    describe(m_topLeftLed, QString(),
             QStringLiteral("Sets wether the marker is maintained \r\n* at the top-left corner of "
                            "the page.\r\nOR\r\n* at the center of the page."));
    m_topLeftLabel = new LinkLabel(QStringLiteral("Keep Top-Left"));
    m_topLeftLabel->setObjectName(QStringLiteral("MarkerBox_TopLeftLabel"));
    describe(m_topLeftLabel, QStringLiteral("Keep Top-Left"),
             QStringLiteral("Keep the marker in the top left or in the center."));

    m_readAheadLed = new ClickPicture;
    m_readAheadLed->setObjectName(QStringLiteral("MarkerBox_ReadAheadLED"));
    m_readAheadLed->setPixmap(ledPixmap(false));
    describe(m_readAheadLed, QString(),
             QStringLiteral("Show the top of the next page before the page turns"));
    m_readAheadLabel = new LinkLabel(QStringLiteral("Read Ahead"));
    m_readAheadLabel->setObjectName(QStringLiteral("MarkerBox_ReadAheadLabel"));
    describe(m_readAheadLabel, QStringLiteral("Read Ahead"),
             QStringLiteral("Show the top of the next page before the page turns"));

    auto* grid = new QGridLayout(m_box);
    grid->addWidget(m_enabledLed, 0, 0);
    grid->addWidget(m_enabledLabel, 0, 1);
    grid->addWidget(m_topLeftLed, 1, 0);
    grid->addWidget(m_topLeftLabel, 1, 1);
    grid->addWidget(m_readAheadLed, 2, 0);
    grid->addWidget(m_readAheadLabel, 2, 1);

    m_imageMenu = new QMenu(&m_sheet);
    m_imageMenu->setObjectName(QStringLiteral("ImageMenu"));
    const auto addItem = [this](const char* name, const QString& caption,
                                void (ZoomAndMarker::*command)()) {
        QAction* action = m_imageMenu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, command);
    };
    addItem("ZoomIn1", QStringLiteral("Zoom In"), &ZoomAndMarker::zoomIn);
    addItem("ZoomOut1", QStringLiteral("Zoom Out"), &ZoomAndMarker::zoomOut);
    addItem("CancelZoom1", QStringLiteral("Cancel Zoom"), &ZoomAndMarker::cancelZoom);
    connect(m_sheet.image(), &NotesImage::rightClicked, m_imageMenu,
            [this](QPoint globalPos) { m_imageMenu->popup(globalPos); });

    connect(m_enabledLed, &ClickPicture::clicked, this, &ZoomAndMarker::markerDisplayCommand);
    connect(m_enabledLabel, &LinkLabel::clicked, this, &ZoomAndMarker::markerDisplayCommand);
    connect(m_topLeftLed, &ClickPicture::clicked, this, &ZoomAndMarker::keepTopLeftCommand);
    connect(m_topLeftLabel, &LinkLabel::clicked, this, &ZoomAndMarker::keepTopLeftCommand);
    connect(m_readAheadLed, &ClickPicture::clicked, this, &ZoomAndMarker::readAheadCommand);
    connect(m_readAheadLabel, &LinkLabel::clicked, this, &ZoomAndMarker::readAheadCommand);
}

QPixmap ZoomAndMarker::ledPixmap(bool green)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient g(6, 6, 8);
    g.setColorAt(0, green ? QColor(190, 255, 190) : QColor(255, 190, 190));
    g.setColorAt(1, green ? QColor(0, 160, 0) : QColor(190, 0, 0));
    p.setBrush(g);
    p.setPen(QColor(60, 60, 60));
    p.drawEllipse(1, 1, 14, 14);
    return pm;
}

QString ZoomAndMarker::zoomText(int steps)
{
    if (steps > 0)
        return QString::number(steps + 1) + QLatin1Char('X');
    if (steps < 0)
        return QStringLiteral("1/") + QString::number(1 - steps) + QStringLiteral(" X");
    return QStringLiteral("1X");
}

void ZoomAndMarker::updateLabel()
{
    m_zoomLabel->setText(zoomText(m_state.zoomSteps));
    m_zoomLabel->setAccessibleName(m_zoomLabel->text());
}

void ZoomAndMarker::zoomBy(double factor)
{
    const QSize size = m_sheet.displaySize();
    const int w = static_cast<int>(std::trunc(size.width() * factor));
    const int h = static_cast<int>(std::trunc(size.height() * factor));
    m_sheet.image()->setDisplaySize(QSize(w, h));
    m_state.refreshRequest = true;
    updateLabel();
}

void ZoomAndMarker::zoomIn()
{
    if (m_state.zoomSteps >= 5)
        return;
    m_state.zoomSteps += 1;
    if (m_state.zoomSteps == 0) {
        cancelZoom();
        return;
    }
    zoomBy(1.2);
}

void ZoomAndMarker::zoomOut()
{
    if (m_state.zoomSteps <= -5)
        return;
    m_state.zoomSteps -= 1;
    if (m_state.zoomSteps == 0) {
        cancelZoom();
        return;
    }
    zoomBy(5.0 / 6.0);
}

void ZoomAndMarker::cancelZoom()
{
    m_sheet.image()->restoreNaturalSize();
    m_state.zoomSteps = 0;
    m_state.refreshRequest = true;
    updateLabel();
}

void ZoomAndMarker::applySteps(int steps)
{
    for (int i = 0; i < steps; ++i)
        zoomIn();
    for (int i = 0; i < -steps; ++i)
        zoomOut();
    m_state.zoomSteps = steps;
    updateLabel();
}

void ZoomAndMarker::markerDisplayCommand()
{
    m_markerSwitch = m_markerSwitch == 0 ? 1 : 0;
    applyMarkerDisplay();
}

void ZoomAndMarker::applyMarkerDisplay()
{
    if (m_markerSwitch == m_lastApplied)
        return;
    if (m_markerSwitch == 1) {
        m_enabledLed->setPixmap(m_ledRed->pixmap());
        m_enabledLabel->setText(QStringLiteral("Show Marker"));
        m_enabledLabel->setAccessibleName(m_enabledLabel->text());
        m_state.markerHidden = true;
        m_sheet.point()->hide();
    } else {
        m_enabledLed->setPixmap(m_ledGreen->pixmap());
        m_enabledLabel->setText(QStringLiteral("Hide Marker"));
        m_enabledLabel->setAccessibleName(m_enabledLabel->text());
        m_state.markerHidden = false;
        m_state.reshowRequest = true;
        if (m_notesList.currentIndex().isValid())
            showMarkerRule();
    }
    m_lastApplied = m_markerSwitch;
}

void ZoomAndMarker::showMarkerRule()
{
    if (m_markerSwitch == 0) {
        m_sheet.point()->show();
        m_sheet.point()->raise();
    }
}

void ZoomAndMarker::keepTopLeftCommand()
{
    if (m_state.keepTopLeft) {
        m_state.keepTopLeft = false;
        m_topLeftLed->setPixmap(m_ledRed->pixmap());
        m_topLeftLabel->setText(QStringLiteral(" Top-Left"));
        m_topLeftLabel->setAccessibleName(m_topLeftLabel->text().trimmed());
    } else {
        m_state.keepTopLeft = true;
        m_topLeftLed->setPixmap(m_ledGreen->pixmap());
        m_topLeftLabel->setText(QStringLiteral(" Center"));
        m_topLeftLabel->setAccessibleName(m_topLeftLabel->text().trimmed());
    }
}

void ZoomAndMarker::readAheadCommand()
{
    m_state.readAhead = !m_state.readAhead;
    m_readAheadLed->setPixmap(ledPixmap(m_state.readAhead));
    if (!m_state.readAhead)
        m_sheet.hideReadAhead();
    // The next follow tick decides the turn again.
    m_state.refreshRequest = true;
}
