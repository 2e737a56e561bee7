#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>

class QNetworkAccessManager;

// The update check: one HTTP GET of the update page, whose answer is a text of
// name=value lines carrying the newest version as "Version".
namespace updatecheck {

inline constexpr char kPath[] = "/app/Folivant_Kinsoro_V3.asp";
inline constexpr int kPort = 80;
inline constexpr int kTimeoutMs = 3000;
// The largest answer read; a longer one counts as a failed check.
inline constexpr qint64 kMaxAnswerBytes = 1 << 20;

// The update host: FOLIVANT_UPDATE_HOST ("host" or "host:port") when set, otherwise the
// product's update server.
QString hostSpec();
// The address asked: http://host[:port]/app/Folivant_Kinsoro_V3.asp. A host given as
// "[v6 address]:port" is understood too. An invalid URL when the text names no usable
// host or port.
QUrl requestUrl(const QString& hostSpec);

// The answer cut into lines at CR LF, LF or CR; a line break at the very end makes no
// extra empty line.
QStringList answerLines(const QByteArray& body);
// The "Version" value of the answer (first line whose name is "Version", letter case
// ignored; empty when there is none).
QString answerVersion(const QStringList& lines);
// True when the answer's version is not exactly ownVersion: a newer version is out.
bool newerVersion(const QStringList& lines, const QString& ownVersion);

// How a request ended, as the splash window handles it.
enum class Outcome {
    Success,          // an answer arrived
    Failure,          // an HTTP error status, a time-out, a server that closed or misbehaved
    ConnectionFailed, // connection refused
    InvalidHost,      // the host name does not resolve
};
Outcome classify(QNetworkReply::NetworkError error);

// The notice shown when a newer version is out.
QString noticeText(const QString& siteName);

} // namespace updatecheck

// Runs one check at a time on the GUI thread and reports its outcome by a signal.
class UpdateCheck : public QObject {
    Q_OBJECT
public:
    explicit UpdateCheck(QObject* parent = nullptr);
    ~UpdateCheck() override;

    // Starts the GET; false (and no outcome signal) when the request cannot start.
    bool start(const QUrl& url);
    bool running() const { return !m_reply.isNull(); }
    // Drops the connection of a running request without an outcome.
    void close();

signals:
    void succeeded(const QByteArray& body);
    void failed();
    void connectionFailed();
    void invalidHost();

private:
    void finished();

    QNetworkAccessManager* m_manager;
    QPointer<QNetworkReply> m_reply;
    bool m_tooLong = false;
};
