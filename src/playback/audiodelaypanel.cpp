#include "playback/audiodelaypanel.h"

#include "platform/widgets.h"
#include "playback/playbackstate.h"
#include "playback/player.h"

#include <QFile>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>

namespace {

const QString kCalibrateHint = QStringLiteral(
    "Plays 16 clicks: tap SPACE (or the pedal) with each click you hear, from the first one");

} // namespace

AudioDelayPanel::AudioDelayPanel(PlaybackState& state, Player& player, QWidget& mainPanel,
                                 Hooks hooks, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_player(player)
    , m_hooks(std::move(hooks))
{
    m_opener = new LinkLabel(QStringLiteral("Audio Delay"));
    m_opener->setObjectName(QStringLiteral("MainPanel_AudioDelay"));
    describe(m_opener, QStringLiteral("Audio Delay"),
             QStringLiteral("How much later than the player says the sound reaches your ears"));
    connect(m_opener, &LinkLabel::clicked, this, &AudioDelayPanel::togglePanel);

    auto* frame = new QFrame(&mainPanel);
    frame->setObjectName(QStringLiteral("AudioDelayPanel"));
    frame->setFrameShape(QFrame::Panel);
    frame->setAutoFillBackground(true);
    auto* grid = new QGridLayout(frame);
    auto* caption = new QLabel(QStringLiteral("Audio delay"), frame);
    m_value = new QSpinBox(frame);
    m_value->setObjectName(QStringLiteral("AudioDelay_Value"));
    m_value->setRange(audiodelay::kMinMs, audiodelay::kMaxMs);
    m_value->setSingleStep(audiodelay::kStepMs);
    m_value->setSuffix(QStringLiteral(" ms"));
    describe(m_value, QStringLiteral("Audio delay"),
             QStringLiteral("Headphones and receivers play the sound late: the marker waits "
                            "this long for it"));
    caption->setBuddy(m_value);
    m_deviceLabel = new QLabel(frame);
    m_deviceLabel->setObjectName(QStringLiteral("AudioDelay_Device"));
    m_calibrate = new QPushButton(QStringLiteral("Calibrate"), frame);
    m_calibrate->setObjectName(QStringLiteral("AudioDelay_Calibrate"));
    describe(m_calibrate, QStringLiteral("Calibrate"), kCalibrateHint);
    auto* close = new QPushButton(QStringLiteral("Close"), frame);
    close->setObjectName(QStringLiteral("AudioDelay_Close"));
    describe(close, QStringLiteral("Close"), QString());
    m_status = new QLabel(frame);
    m_status->setObjectName(QStringLiteral("AudioDelay_Status"));
    m_status->setWordWrap(true);
    grid->addWidget(caption, 0, 0);
    grid->addWidget(m_value, 0, 1);
    grid->addWidget(m_deviceLabel, 1, 0, 1, 2);
    grid->addWidget(m_calibrate, 2, 0);
    grid->addWidget(close, 2, 1);
    grid->addWidget(m_status, 3, 0, 1, 2);
    frame->adjustSize();
    frame->hide();
    m_panel = frame;

    m_calibrationTimer.setObjectName(QStringLiteral("CalibrationTimer"));
    m_calibrationTimer.setInterval(50);
    connect(&m_calibrationTimer, &QTimer::timeout, this, &AudioDelayPanel::CalibrationTimerTimer);
    connect(m_value, &QSpinBox::valueChanged, this, &AudioDelayPanel::valueChanged);
    connect(m_calibrate, &QPushButton::clicked, this, &AudioDelayPanel::startCalibration);
    connect(close, &QPushButton::clicked, this, [this] {
        cancelCalibration();
        m_panel->hide();
    });
    connect(&m_player, &Player::statusChanged, this, &AudioDelayPanel::followOutput);
    followOutput();
}

AudioDelayPanel::~AudioDelayPanel() = default;

void AudioDelayPanel::togglePanel()
{
    if (m_panel->isVisible()) {
        cancelCalibration();
        m_panel->hide();
        return;
    }
    followOutput();
    place();
    m_panel->show();
    m_panel->raise();
}

void AudioDelayPanel::followOutput()
{
    const QString device = m_player.outputDevice();
    if (device == m_device)
        return;
    m_device = device;
    m_deviceLabel->setText(QStringLiteral("Output: ") + device);
    const int ms = m_settings.delayFor(device);
    if (m_value->value() == ms)
        valueChanged(ms); // the playback state still takes it
    else
        m_value->setValue(ms);
}

void AudioDelayPanel::valueChanged(int ms)
{
    const int clamped = audiodelay::clampMs(ms);
    if (clamped != ms) {
        m_value->setValue(clamped); // typed between two steps
        return;
    }
    const double seconds = clamped / 1000.0;
    if (m_state.audioDelay == seconds)
        return;
    m_state.audioDelay = seconds;
    m_state.refreshRequest = true;
    if (m_settings.delayFor(m_device) != clamped)
        m_settings.setDelayFor(m_device, clamped);
    if (m_hooks.delayChanged)
        m_hooks.delayChanged();
}

void AudioDelayPanel::startCalibration()
{
    if (calibrating() || !m_hooks.makeClickPlayer)
        return;
    m_clickDir = std::make_unique<QTemporaryDir>();
    const QString wav = m_clickDir->filePath(QStringLiteral("clicks.wav"));
    QFile file(wav);
    if (!m_clickDir->isValid() || !file.open(QIODevice::WriteOnly) ||
        file.write(audiodelay::ClickTrack::wav()) < 0 || !file.flush()) {
        showStatus(QStringLiteral("The clicks cannot be written: ") + file.errorString());
        m_clickDir.reset();
        return;
    }
    file.close();
    m_taps.clear();
    m_clicks = m_hooks.makeClickPlayer();
    connect(m_clicks.get(), &Player::errorOccurred, this, [this] {
        cancelCalibration();
        showStatus(QStringLiteral("The clicks cannot be played on this output."));
    });
    m_started.start();
    m_clicks->setSource(wav);
    m_clicks->play();
    m_calibrate->setEnabled(false);
    showStatus(QStringLiteral("Tap SPACE (or the pedal) with each click you hear..."));
    m_calibrationTimer.start();
}

void AudioDelayPanel::tap()
{
    if (calibrating())
        m_taps.push_back(m_clicks->position());
}

void AudioDelayPanel::CalibrationTimerTimer()
{
    if (!calibrating())
        return;
    // Over when the last click has had time to be heard and answered; a player that
    // stalls is given up after a few seconds more.
    const double end = audiodelay::ClickTrack::times().back() + 0.9;
    if (m_clicks->position() >= end || m_started.elapsed() > (end + 5.0) * 1000)
        finishCalibration();
}

void AudioDelayPanel::finishCalibration()
{
    const audiodelay::Calibration c =
        audiodelay::calibrate(audiodelay::ClickTrack::times(), m_taps);
    cancelCalibration();
    if (!c.ok) {
        showStatus(QStringLiteral("Only %1 of %2 taps went with the clicks (%3 are needed). "
                                  "The delay stays as it was; please try again.")
                       .arg(c.kept)
                       .arg(c.taps)
                       .arg(audiodelay::Calibration::kMinKept));
        return;
    }
    m_value->setValue(c.delayMs);
    showStatus(QStringLiteral("Delay %1 ms, spread %2 ms (%3 of %4 taps used).")
                   .arg(c.delayMs)
                   .arg(c.spreadMs, 0, 'f', 0)
                   .arg(c.kept)
                   .arg(c.taps));
}

void AudioDelayPanel::showStatus(const QString& text)
{
    m_status->setText(text);
    m_panel->adjustSize();
    place();
}

// In the main panel's bottom-right corner, above the bottom row, whatever its size.
void AudioDelayPanel::place()
{
    const QWidget* parent = m_panel->parentWidget();
    m_panel->move(std::max(0, parent->width() - m_panel->width() - 8),
                  std::max(0, parent->height() - m_panel->height() - 40));
}

void AudioDelayPanel::cancelCalibration()
{
    m_calibrationTimer.stop();
    if (m_clicks) {
        m_clicks->stop();
        m_clicks.reset();
    }
    m_clickDir.reset();
    m_calibrate->setEnabled(true);
}
