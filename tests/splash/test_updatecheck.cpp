#include "splash/splashform.h"
#include "splash/updatecheck.h"
#include "support/testwindow.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace {

// A small HTTP/1.1 server on loopback: it answers every request with the status and
// body set by the test, or keeps silent, or closes the connection without a word.
class LoopbackHttpServer : public QObject {
public:
    enum class Mode { Answer, Silent, CloseAtOnce };

    LoopbackHttpServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
            }
        });
    }
    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    QString hostSpec() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort()); }

    Mode mode = Mode::Answer;
    int status = 200;
    QByteArray body;
    QStringList requestLines;
    QStringList hostHeaders;

private:
    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> head = buffer.left(end).split('\n');
        requestLines << QString::fromLatin1(head.value(0).trimmed());
        for (const QByteArray& line : head)
            if (line.toLower().startsWith("host:"))
                hostHeaders << QString::fromLatin1(line.mid(5).trimmed());
        buffer.clear();
        switch (mode) {
        case Mode::Silent:
            return;
        case Mode::CloseAtOnce:
            socket->abort();
            return;
        case Mode::Answer:
            break;
        }
        const QByteArray reason = status == 200 ? "OK" : "Internal Server Error";
        socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
                      "\r\nContent-Type: text/plain\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    std::map<QTcpSocket*, QByteArray> m_buffers;
};

// Sets FOLIVANT_UPDATE_HOST while alive.
class UpdateHost {
public:
    explicit UpdateHost(const QString& setting)
    {
        qputenv("FOLIVANT_UPDATE_HOST", setting.toUtf8());
    }
    ~UpdateHost() { qunsetenv("FOLIVANT_UPDATE_HOST"); }
};

// The notice text with the product's web site.
QString notice()
{
    return QStringLiteral("New version available.\nPlease check https://folivant.invalid/");
}
QString failureText()
{
    return QStringLiteral("Unable to connect to server.\nCheck your internet connection.");
}

TEST(UpdateAnswer, LinesAndVersion)
{
    const QStringList lines = updatecheck::answerLines("Name=Folivant\r\nversion=3.1\nX=1\r");
    EXPECT_EQ(lines, (QStringList{QStringLiteral("Name=Folivant"), QStringLiteral("version=3.1"),
                                  QStringLiteral("X=1")}));
    EXPECT_EQ(updatecheck::answerVersion(lines), QStringLiteral("3.1"));
    EXPECT_FALSE(updatecheck::newerVersion(lines, QStringLiteral("3.1")));
    // The first matching line wins; values compare as exact text.
    const QStringList two = updatecheck::answerLines("VERSION=3.10\r\nVersion=3.1\r\n");
    EXPECT_EQ(updatecheck::answerVersion(two), QStringLiteral("3.10"));
    EXPECT_TRUE(updatecheck::newerVersion(two, QStringLiteral("3.1")));
    EXPECT_TRUE(updatecheck::newerVersion(updatecheck::answerLines("<html></html>"),
                                          QStringLiteral("3.1")));
    EXPECT_TRUE(updatecheck::answerLines("").isEmpty());
}

TEST(UpdateAnswer, RequestAddress)
{
    qunsetenv("FOLIVANT_UPDATE_HOST");
    const QUrl standard = updatecheck::requestUrl(updatecheck::hostSpec());
    EXPECT_EQ(standard.toString().toStdString(),
              "http://update.folivant.invalid:80/app/Folivant_Kinsoro_V3.asp");
    EXPECT_EQ(standard.port(80), 80);
    EXPECT_EQ(updatecheck::requestUrl(QStringLiteral("127.0.0.1:8080")).toString().toStdString(),
              "http://127.0.0.1:8080/app/Folivant_Kinsoro_V3.asp");
    EXPECT_EQ(updatecheck::requestUrl(QStringLiteral("[::1]:81")).toString().toStdString(),
              "http://[::1]:81/app/Folivant_Kinsoro_V3.asp");
    for (const char* bad : {"", "host:", "host:0", "host:70000", "host:x", "bad host", "[::1"})
        EXPECT_FALSE(updatecheck::requestUrl(QLatin1String(bad)).isValid()) << bad;
}

// The splash window's check against a real server on loopback.
class SplashCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        SplashForm::resetStartup();
        ASSERT_TRUE(server.listen());
    }
    void TearDown() override { SplashForm::resetStartup(); }

    // Runs the check against hostSpec and waits until it has finished.
    void runCheck(const QString& hostSpec)
    {
        UpdateHost host(hostSpec);
        SplashForm::resetStartup();
        splash = std::make_unique<SplashForm>(dialogs, shell, [this] { ++quits; });
        splash->selfClose().stop();
        splash->WaitTimerTimer();
        EXPECT_EQ(splash->statusText(), QStringLiteral("Connecting..."));
        ASSERT_TRUE(QTest::qWaitFor([this] { return splash->checkFinished(); }, 15000));
    }
    void answer(const QByteArray& body, int status = 200)
    {
        server.body = body;
        server.status = status;
        runCheck(server.hostSpec());
    }

    LoopbackHttpServer server;
    ScriptedDialogs dialogs;
    RecordingShell shell;
    int quits = 0;
    std::unique_ptr<SplashForm> splash;
};

TEST_F(SplashCheck, SameVersionShowsNothing)
{
    answer("Name=Folivant\r\nVersion=3.1\r\nNote=a=b\r\n");
    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_EQ(server.requestLines,
              QStringList{QStringLiteral("GET /app/Folivant_Kinsoro_V3.asp HTTP/1.1")});
    EXPECT_EQ(server.hostHeaders, QStringList{server.hostSpec()});
    EXPECT_EQ(splash->answerLines(),
              (QStringList{QStringLiteral("Name=Folivant"), QStringLiteral("Version=3.1"),
                           QStringLiteral("Note=a=b")}));
    EXPECT_EQ(splash->statusText(), QStringLiteral("Connecting..."));
}

TEST_F(SplashCheck, AnotherVersionShowsTheNotice)
{
    answer("Version=3.2\r\n");
    EXPECT_EQ(dialogs.shown, QStringList{notice()});
}

TEST_F(SplashCheck, NamesMatchInAnyLetterCase)
{
    answer("version=3.1\n");
    EXPECT_TRUE(dialogs.shown.isEmpty());
    answer("version=4.0\n");
    EXPECT_EQ(dialogs.shown, QStringList{notice()});
}

TEST_F(SplashCheck, AnAnswerWithoutAVersionShowsTheNotice)
{
    answer("Name=Folivant\r\n");
    EXPECT_EQ(dialogs.shown, QStringList{notice()});
    dialogs.shown.clear();
    answer("");
    EXPECT_EQ(dialogs.shown, QStringList{notice()});
}

TEST_F(SplashCheck, AnHttpErrorIsAFailure)
{
    answer("Version=3.2\r\n", 500);
    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_EQ(splash->statusText(), failureText());
}

TEST_F(SplashCheck, AServerThatClosesWithoutAnAnswerIsAFailure)
{
    server.mode = LoopbackHttpServer::Mode::CloseAtOnce;
    runCheck(server.hostSpec());
    // The client may try the request once more on a fresh connection before giving up.
    EXPECT_FALSE(server.requestLines.isEmpty());
    EXPECT_EQ(splash->statusText(), failureText());
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

TEST_F(SplashCheck, ASilentServerTimesOutAndTheProgramGoesOn)
{
    server.mode = LoopbackHttpServer::Mode::Silent;
    QElapsedTimer clock;
    clock.start();
    runCheck(server.hostSpec());
    // Qt's transfer time-out runs on a coarse timer, which may fire up to 5 % early.
    EXPECT_GE(clock.elapsed(), updatecheck::kTimeoutMs * 9 / 10);
    EXPECT_EQ(splash->statusText(), failureText());
    EXPECT_TRUE(dialogs.shown.isEmpty());

    QWidget mainWindow;
    splash->setMainWindow(&mainWindow);
    SplashForm::setApplicationStarted(true);
    for (int tick = 0; tick < 10; ++tick)
        splash->Self_CloseTimer();
    EXPECT_TRUE(mainWindow.isVisible());
}

TEST_F(SplashCheck, ARefusedConnectionEndsWithoutAMessage)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    runCheck(QStringLiteral("127.0.0.1:%1").arg(port));
    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_EQ(splash->statusText(), QStringLiteral("Connecting..."));
}

TEST_F(SplashCheck, AnUnresolvableHostEndsWithoutAMessage)
{
    runCheck(QStringLiteral("x.invalid"));
    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_EQ(splash->statusText(), QStringLiteral("Connecting..."));
}

TEST_F(SplashCheck, ARequestThatCannotStartCountsAsFinished)
{
    UpdateHost host(QStringLiteral("no such host:99999"));
    splash = std::make_unique<SplashForm>(dialogs, shell, [this] { ++quits; });
    splash->WaitTimerTimer();
    EXPECT_TRUE(splash->checkFinished());
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

} // namespace
