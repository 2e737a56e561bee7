#include "pedal/pedaltempo.h"

#include "pedal/pedallogic.h"
#include "platform/errorreport.h"
#include "platform/hotkeys.h"
#include "platform/widgets.h"
#include "project/numbertext.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace {

QString notANumber(const QString& text)
{
    return QStringLiteral("'%1' is not a valid floating point value").arg(text.left(200));
}

// Typing into the BPM field accepts the digits and "." only.
bool acceptedInBpm(const QKeyEvent& key)
{
    if (key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab)
        return true; // focus moves on; no character is typed
    if (key.key() == Qt::Key_Backspace || key.matches(QKeySequence::Paste) ||
        key.matches(QKeySequence::Cut))
        return false;
    const QString text = key.text();
    if (text.isEmpty())
        return true; // a key that types nothing (arrows, Home, Delete, modifiers)
    for (const QChar c : text) {
        if (!c.isDigit() && c != QLatin1Char('.'))
            return false;
        if (c.unicode() > 127)
            return false;
    }
    return true;
}

} // namespace

PedalTempo::PedalTempo(HotKeys& keys, ErrorReport& errors, Clock clock,
                       std::function<QLineEdit*()> tempoField, QWidget* panel, QObject* parent)
    : QObject(parent)
    , m_keys(keys)
    , m_errors(errors)
    , m_clock(clock ? std::move(clock) : systemClock())
    , m_tempoField(std::move(tempoField))
{
    buildGroup(panel);
    m_keys.setActive(HotKey::Bpm, false);

    connect(m_enabled, &QCheckBox::toggled, this, [this] { StrokesDoClick(); });
    connect(m_average, &QCheckBox::toggled, this, [this] { AverageStrokesClick(); });
    connect(m_beats, &QLineEdit::textChanged, this, [this] { PedalBeatsChange(); });
    connect(m_show, &LinkLabel::clicked, this, &PedalTempo::PedalShowClick);
    connect(m_hide, &LinkLabel::clicked, this, &PedalTempo::Label46Click);
}

void PedalTempo::buildGroup(QWidget* panel)
{
    m_group = new QGroupBox(QStringLiteral("Pedal Settings"), panel);
    m_group->setObjectName(QStringLiteral("PedalSettings"));
    m_group->setAutoFillBackground(true);
    m_group->resize(330, 200);

    m_hide = new LinkLabel(QStringLiteral("Hide"), m_group);
    m_hide->setObjectName(QStringLiteral("Label46"));
    m_hide->setGeometry(284, 20, 36, 18);

    auto* instruction = new QLabel(QStringLiteral("Define your pedal to emulate \"F6\""), m_group);
    instruction->setObjectName(QStringLiteral("Label44"));
    instruction->setGeometry(12, 22, 260, 18);

    auto* bpmLabel = new QLabel(QStringLiteral("BPM in Audio"), m_group);
    bpmLabel->setGeometry(12, 54, 120, 22);
    m_bpm = new QLineEdit(QStringLiteral("144"), m_group);
    m_bpm->setObjectName(QStringLiteral("BPMAudio"));
    m_bpm->setGeometry(140, 54, 60, 22);
    m_bpm->setAcceptDrops(false);
    m_bpm->installEventFilter(this);
    describe(m_bpm, QStringLiteral("BPM in Audio"), QString());
    bpmLabel->setBuddy(m_bpm);

    // The beats field sits in the gap of its label's text.
    const QString before = QStringLiteral("Each Pedal Stroke is ");
    auto* beatsLabel = new QLabel(QStringLiteral("Each Pedal Stroke is           Beats"), m_group);
    beatsLabel->setGeometry(12, 88, 300, 22);
    const QFontMetrics metrics(beatsLabel->font());
    m_beats = new QLineEdit(QStringLiteral("1"), m_group);
    m_beats->setObjectName(QStringLiteral("PedalBeats"));
    m_beats->setGeometry(12 + metrics.horizontalAdvance(before), 88,
                         std::max(30, metrics.horizontalAdvance(QStringLiteral("         "))), 22);
    describe(m_beats, QStringLiteral("Each Pedal Stroke is Beats"), QString());

    m_average = new QCheckBox(QStringLiteral("Average last 2 strokes?"), m_group);
    m_average->setObjectName(QStringLiteral("AverageStrokes"));
    m_average->setGeometry(12, 122, 300, 22);
    m_enabled = new QCheckBox(QStringLiteral("Enable Pedal Tempo Control"), m_group);
    m_enabled->setObjectName(QStringLiteral("StrokesDo"));
    m_enabled->setGeometry(12, 154, 300, 22);
    m_group->hide();

    m_show = new LinkLabel(QStringLiteral("Pedal"));
    m_show->setObjectName(QStringLiteral("PedalShow"));
}

void PedalTempo::BPMKeyKeyDown()
{
    if (!m_enabled->isChecked())
        return;
    m_current = pedallogic::dayFraction(m_clock());
    if (m_previous == 0) {
        // The first stroke only starts the timing.
        m_previous = m_current;
        return;
    }
    const std::optional<double> beats = numbertext::parse(m_beats->text());
    if (!beats) {
        m_errors.report(notANumber(m_beats->text()));
        return;
    }
    const std::optional<double> bpm = numbertext::parse(m_bpm->text());
    if (!bpm) {
        m_errors.report(notANumber(m_bpm->text()));
        return;
    }
    // An interval of 0 ms, a negative one (across midnight) or a BPM of 0 sets no rate;
    // the stroke still becomes the previous one.
    const std::optional<long long> interval = pedallogic::intervalMs(m_previous, m_current);
    const std::optional<double> expected = pedallogic::expectedMs(*beats, *bpm);
    std::optional<double> rate;
    if (interval && expected)
        rate = pedallogic::strokeRate(*expected, *interval, m_lastRate, m_average->isChecked());
    if (rate) {
        if (QLineEdit* field = m_tempoField ? m_tempoField() : nullptr) {
            // The tempo field's change handler applies the rate before it is read back.
            field->setText(numbertext::format(*rate));
            m_lastRate = numbertext::parse(field->text()).value_or(0);
        }
    }
    m_previous = m_current;
}

void PedalTempo::StrokesDoClick()
{
    m_previous = 0;
    m_keys.setActive(HotKey::Bpm, m_enabled->isChecked());
}

void PedalTempo::AverageStrokesClick()
{
    m_lastRate = 0;
}

void PedalTempo::PedalBeatsChange()
{
    if (!numbertext::parse(m_beats->text()))
        m_beats->setText(QStringLiteral("1"));
}

void PedalTempo::PedalShowClick()
{
    m_group->show();
    m_group->raise();
}

void PedalTempo::Label46Click()
{
    m_group->hide();
}

bool PedalTempo::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_bpm && event->type() == QEvent::KeyPress &&
        !acceptedInBpm(*static_cast<QKeyEvent*>(event)))
        return true;
    return QObject::eventFilter(watched, event);
}
