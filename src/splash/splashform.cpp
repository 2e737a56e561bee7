#include "splash/splashform.h"

#include "platform/dialogs.h"
#include "platform/shell.h"
#include "platform/widgets.h"
#include "splash/updatecheck.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

namespace {

struct StartupState {
    double elapsed = 0;
    bool checkStarted = false;
    bool applicationStarted = false;
};

StartupState& startup()
{
    static StartupState state;
    return state;
}

QLabel* whiteLabel(QWidget* parent, const char* name, const QString& text, int pointSize, bool bold)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    QFont f = label->font();
    f.setPointSize(pointSize);
    f.setBold(bold);
    label->setFont(f);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

SplashForm::SplashForm(Dialogs& dialogs, Shell& shell, std::function<void()> quit, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_dialogs(dialogs)
    , m_shell(shell)
    , m_quit(quit ? std::move(quit) : [] { QCoreApplication::quit(); })
    , m_http(new UpdateCheck(this))
{
    setObjectName(QStringLiteral("Splash_Form"));
    setWindowTitle(QStringLiteral("Folivant with Kinsoro"));
    setFixedSize(412, 368);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(0, 128, 255));
    p.setColor(QPalette::WindowText, Qt::white);
    p.setColor(QPalette::ButtonText, Qt::white);
    p.setColor(QPalette::Button, QColor(0, 128, 255));
    setPalette(p);
    buildControls();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->geometry();
        move(desktop.x() + (desktop.width() - width()) / 2,
             desktop.y() + (desktop.height() - height()) / 2);
    }

    m_waitTimer.setObjectName(QStringLiteral("WaitTimer"));
    m_waitTimer.setInterval(kWaitInterval);
    connect(&m_waitTimer, &QTimer::timeout, this, &SplashForm::WaitTimerTimer);
    m_selfClose.setObjectName(QStringLiteral("Self_Close"));
    m_selfClose.setInterval(kSelfCloseInterval);
    connect(&m_selfClose, &QTimer::timeout, this, &SplashForm::Self_CloseTimer);
    m_selfClose.start();

    connect(m_http, &UpdateCheck::succeeded, this, &SplashForm::httpSuccess);
    connect(m_http, &UpdateCheck::failed, this, &SplashForm::httpFailure);
    connect(m_http, &UpdateCheck::connectionFailed, this, &SplashForm::httpConnectionFailed);
    connect(m_http, &UpdateCheck::invalidHost, this, &SplashForm::httpInvalidHost);
}

SplashForm::~SplashForm() = default;

void SplashForm::buildControls()
{
    auto* title = whiteLabel(this, "TitleLabel", QStringLiteral("Folivant\n\nKinsoro"), 30, true);
    title->setGeometry(0, 40, width(), 170);
    auto* with = whiteLabel(this, "WithLabel", QStringLiteral("with"), 10, false);
    with->setGeometry(0, 115, width(), 20);

    auto* versionCaption = whiteLabel(this, "VersionLabel", QStringLiteral("Version"), 10, false);
    versionCaption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    versionCaption->setGeometry(0, 215, width() / 2 - 2, 20);
    m_version = whiteLabel(this, "Version", version(), 10, false);
    m_version->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_version->setGeometry(width() / 2 + 2, 215, width() / 2 - 2, 20);

    m_status = whiteLabel(this, "Status", QStringLiteral("Loading..."), 10, false);
    m_status->setWordWrap(true);
    m_status->setGeometry(20, 250, width() - 40, 60);

    m_link = new LinkLabel(webSite(), this);
    m_link->setObjectName(QStringLiteral("WebSite"));
    m_link->setAlignment(Qt::AlignCenter);
    m_link->setGeometry(0, 330, width(), 22);
    connect(m_link, &LinkLabel::clicked, this, [this] { m_shell.openUrl(webSite()); });

    m_close = new QPushButton(QStringLiteral("X"), this);
    m_close->setObjectName(QStringLiteral("CloseButton"));
    m_close->setFlat(true);
    m_close->setGeometry(width() - 30, 4, 26, 24);
    describe(m_close, QStringLiteral("X"), QString());
    connect(m_close, &QPushButton::clicked, this, [this] { m_quit(); });

    m_getMemo = new QPlainTextEdit(this);
    m_getMemo->setObjectName(QStringLiteral("GetMemo"));
    m_getMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_getMemo->setReadOnly(true);
    m_getMemo->hide();
}

void SplashForm::setApplicationStarted(bool started)
{
    startup().applicationStarted = started;
}

bool SplashForm::applicationStarted()
{
    return startup().applicationStarted;
}

double SplashForm::elapsed()
{
    return startup().elapsed;
}

bool SplashForm::checkStarted()
{
    return startup().checkStarted;
}

void SplashForm::resetStartup()
{
    startup() = StartupState{};
}

QString SplashForm::webSite()
{
    return QStringLiteral("https://folivant.invalid/");
}

QString SplashForm::version()
{
    return QStringLiteral("3.1");
}

QString SplashForm::statusText() const
{
    return m_status->text();
}

QStringList SplashForm::answerLines() const
{
    const QString text = m_getMemo->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

void SplashForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_waitTimer.start();
}

void SplashForm::WaitTimerTimer()
{
    m_waitTimer.stop();
    if (startup().checkStarted)
        return;
    startup().checkStarted = true;
    startCheck();
}

void SplashForm::startCheck()
{
    m_status->setText(QStringLiteral("Connecting..."));
    if (!m_http->start(updatecheck::requestUrl(updatecheck::hostSpec())))
        finishCheck(); // no outcome will arrive: do not keep the splash waiting
}

void SplashForm::httpSuccess(const QByteArray& body)
{
    const QStringList lines = updatecheck::answerLines(body);
    m_getMemo->setPlainText(lines.join(QLatin1Char('\n')));
    if (updatecheck::newerVersion(lines, m_version->text()))
        m_dialogs.information(updatecheck::noticeText(webSite()));
    finishCheck();
}

void SplashForm::httpFailure()
{
    m_status->setText(
        QStringLiteral("Unable to connect to server.\nCheck your internet connection."));
    finishCheck();
}

void SplashForm::httpConnectionFailed()
{
    finishCheck();
}

void SplashForm::httpInvalidHost()
{
    finishCheck();
}

void SplashForm::finishCheck()
{
    m_http->close();
    m_checkFinished = true;
}

void SplashForm::Self_CloseTimer()
{
    startup().elapsed += m_selfClose.interval();
    if (startup().applicationStarted && m_checkFinished && startup().elapsed >= kMinimumShowMs)
        handOver();
}

void SplashForm::handOver()
{
    hide();
    if (m_mainWindow) {
        m_mainWindow->show();
        m_mainWindow->raise();
        m_mainWindow->activateWindow();
    }
    m_selfClose.stop();
    emit handedOver();
}
