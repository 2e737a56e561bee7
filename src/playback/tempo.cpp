#include "playback/tempo.h"

#include "platform/widgets.h"
#include "playback/player.h"
#include "project/numbertext.h"
#include "project/workspace.h"
#include "wire/messages.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace tempotext {

std::optional<QString> stepDown(const QString& text)
{
    auto x = numbertext::parse(text);
    if (!x)
        return std::nullopt;
    if (*x > 0.5)
        *x -= 0.1;
    return numbertext::format(*x);
}

std::optional<QString> stepUp(const QString& text)
{
    auto x = numbertext::parse(text);
    if (!x)
        return std::nullopt;
    if (*x < 5)
        *x += 0.1;
    return numbertext::format(*x);
}

} // namespace tempotext

namespace {

QPushButton* panelButton(QWidget* parent, const char* name, const QString& caption,
                         const QString& hint = QString())
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    describe(b, caption, hint);
    return b;
}

} // namespace

Tempo::Tempo(Workspace& workspace, Player& player, QWidget& mainPanel, Hooks hooks, QObject* parent)
    : QObject(parent)
    , m_ws(workspace)
    , m_player(player)
    , m_mainPanel(mainPanel)
    , m_hooks(std::move(hooks))
{
    auto* frame = new QFrame(&m_mainPanel);
    frame->setObjectName(QStringLiteral("PitchPanel"));
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setAutoFillBackground(true);
    m_panel = frame;
    auto* layout = new QVBoxLayout(m_panel);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Current Tempo:"), m_panel));
    m_field = new QLineEdit(QStringLiteral("1.00"), m_panel);
    m_field->setObjectName(QStringLiteral("PitchEdit"));
    m_field->setReadOnly(true);
    m_field->setFixedWidth(60);
    describe(m_field, QStringLiteral("Current Tempo:"), QString());
    row->addWidget(m_field);
    row->addWidget(new QLabel(QStringLiteral("X Real Time"), m_panel));
    layout->addLayout(row);
    auto* buttons = new QHBoxLayout;
    m_minus = panelButton(m_panel, "PitchM", QStringLiteral("-"));
    m_plus = panelButton(m_panel, "PitchP", QStringLiteral("+"));
    for (QPushButton* b : {m_minus, m_plus}) {
        b->setAutoRepeat(true);
        b->setAutoRepeatInterval(50);
        b->setFixedWidth(36);
        buttons->addWidget(b);
    }
    QPushButton* resetButton = panelButton(m_panel, "Pitch_Reset", QStringLiteral("Reset"));
    QPushButton* okButton = panelButton(m_panel, "Pitch_OK", QStringLiteral("OK"),
                                        QStringLiteral("Confirm the Pitch change."));
    buttons->addWidget(resetButton);
    buttons->addWidget(okButton);
    layout->addLayout(buttons);
    m_panel->adjustSize();
    m_panel->hide();

    m_level = new QLabel(QStringLiteral("1X"));
    m_level->setObjectName(QStringLiteral("TempoLevel"));
    describe(m_level, QStringLiteral("1X"),
             QStringLiteral("The current tempo at which the audio is played."));
    m_opener = new LinkLabel(QStringLiteral("Tempo/Pitch"));
    m_opener->setObjectName(QStringLiteral("MainPanel_Pitch"));
    describe(m_opener, QStringLiteral("Tempo/Pitch"), QStringLiteral("Modify the song Pitch"));

    connect(m_field, &QLineEdit::textChanged, this, &Tempo::PitchEditChange);
    connect(m_minus, &QAbstractButton::clicked, this, &Tempo::stepDown);
    connect(m_plus, &QAbstractButton::clicked, this, &Tempo::stepUp);
    connect(resetButton, &QAbstractButton::clicked, this, &Tempo::reset);
    connect(okButton, &QAbstractButton::clicked, this, &Tempo::ok);
    connect(m_opener, &LinkLabel::clicked, this, &Tempo::togglePanel);
}

void Tempo::addMenuItem(QMenu& menu)
{
    QAction* action = menu.addAction(QStringLiteral("Set Pitch"));
    action->setObjectName(QStringLiteral("SetPitch1"));
    connect(action, &QAction::triggered, this, &Tempo::togglePanel);
}

QString Tempo::text() const
{
    return m_field->text();
}

void Tempo::setText(const QString& text)
{
    if (m_field->text() == text)
        PitchEditChange();
    else
        m_field->setText(text); // textChanged runs the handler
}

void Tempo::togglePanel()
{
    if (m_panel->isVisible()) {
        m_panel->hide();
        return;
    }
    setText(numbertext::format(numbertext::roundHundredths(m_player.rate())));
    m_panel->adjustSize();
    m_panel->move((m_mainPanel.width() - m_panel->width()) / 2,
                  (m_mainPanel.height() - m_panel->height()) / 2);
    m_panel->show();
    m_panel->raise();
}

void Tempo::stepDown()
{
    setText(tempotext::stepDown(text()).value_or(text()));
}

void Tempo::stepUp()
{
    setText(tempotext::stepUp(text()).value_or(text()));
}

void Tempo::reset()
{
    setText(QStringLiteral("1"));
}

void Tempo::ok()
{
    m_panel->hide();
    m_mainPanel.show();
}

void Tempo::PitchEditChange()
{
    auto value = numbertext::parse(m_field->text());
    if (!value) {
        // Not a number: real time. Written without a second run of this handler.
        const QSignalBlocker block(m_field);
        m_field->setText(QStringLiteral("1"));
        value = 1.0;
    }
    if (!m_ws.modes.followMode)
        m_player.setRate(numbertext::roundHundredths(*value));
    m_level->setText(m_field->text() + QLatin1Char('X'));
    m_level->setAccessibleName(m_level->text());
    if (m_hooks.broadcast)
        m_hooks.broadcast(messages::tempoMessage(m_field->text()));
}
