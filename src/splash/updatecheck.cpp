#include "splash/updatecheck.h"

#include "project/textlist.h"

#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QRegularExpression>

namespace updatecheck {

QString hostSpec()
{
    const QString fromEnvironment = qEnvironmentVariable("FOLIVANT_UPDATE_HOST").trimmed();
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    // The reserved top-level name never resolves: no update server answers yet.
    return QStringLiteral("update.folivant.invalid");
}

QUrl requestUrl(const QString& setting)
{
    QString host = setting.trimmed();
    QString portText;
    if (host.startsWith(QLatin1Char('['))) {
        const qsizetype close = host.indexOf(QLatin1Char(']'));
        if (close < 0)
            return {};
        const QString rest = host.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return {};
            portText = rest.mid(1);
        }
        host = host.mid(1, close - 1);
    } else if (host.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = host.indexOf(QLatin1Char(':'));
        portText = host.mid(colon + 1);
        host = host.left(colon);
    }
    if (host.isEmpty())
        return {};
    int port = kPort;
    if (!portText.isNull()) {
        bool ok = false;
        port = portText.toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            return {};
    }
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(host, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return {};
    url.setPort(port);
    url.setPath(QLatin1String(kPath));
    return url.isValid() ? url : QUrl();
}

QStringList answerLines(const QByteArray& body)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = QString::fromUtf8(body).split(lineBreak);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString answerVersion(const QStringList& lines)
{
    return TextList(lines).value(QStringLiteral("Version"));
}

bool newerVersion(const QStringList& lines, const QString& ownVersion)
{
    return answerVersion(lines) != ownVersion;
}

Outcome classify(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::NoError:
        return Outcome::Success;
    case QNetworkReply::ConnectionRefusedError:
        return Outcome::ConnectionFailed;
    case QNetworkReply::HostNotFoundError:
        return Outcome::InvalidHost;
    default:
        return Outcome::Failure;
    }
}

QString noticeText(const QString& siteName)
{
    return QStringLiteral("New version available.\nPlease check ") + siteName;
}

} // namespace updatecheck

UpdateCheck::UpdateCheck(QObject* parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
{
}

UpdateCheck::~UpdateCheck()
{
    close();
}

bool UpdateCheck::start(const QUrl& url)
{
    if (running() || !url.isValid() || url.host().isEmpty())
        return false;
    QNetworkRequest request(url);
    request.setTransferTimeout(updatecheck::kTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    m_tooLong = false;
    m_reply = m_manager->get(request);
    if (!m_reply)
        return false;
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        if (received > updatecheck::kMaxAnswerBytes && m_reply) {
            m_tooLong = true;
            m_reply->abort();
        }
    });
    connect(m_reply, &QNetworkReply::finished, this, &UpdateCheck::finished);
    return true;
}

void UpdateCheck::close()
{
    if (QNetworkReply* reply = m_reply) {
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void UpdateCheck::finished()
{
    QNetworkReply* reply = m_reply;
    if (!reply)
        return;
    m_reply = nullptr;
    reply->deleteLater();
    const updatecheck::Outcome outcome =
        m_tooLong ? updatecheck::Outcome::Failure : updatecheck::classify(reply->error());
    switch (outcome) {
    case updatecheck::Outcome::Success:
        emit succeeded(reply->readAll());
        break;
    case updatecheck::Outcome::Failure:
        emit failed();
        break;
    case updatecheck::Outcome::ConnectionFailed:
        emit connectionFailed();
        break;
    case updatecheck::Outcome::InvalidHost:
        emit invalidHost();
        break;
    }
}
