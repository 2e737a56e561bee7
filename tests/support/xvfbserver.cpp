#include "support/xvfbserver.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QStandardPaths>
#include <cstdio>
#include <gtest/gtest.h>

XvfbServer::~XvfbServer()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

bool XvfbServer::isInstalled()
{
    return !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty();
}

bool XvfbServer::start(QString* error)
{
    // With -displayfd the server takes the first free display number and writes it to
    // the given descriptor once it accepts connections.
    m_process.start(QStringLiteral("Xvfb"),
                    {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                     QStringLiteral("0"), QStringLiteral("1024x768x24"),
                     QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-ac")});
    if (!m_process.waitForStarted(5000)) {
        *error = QStringLiteral("Xvfb did not start: ") + m_process.errorString();
        return false;
    }
    QByteArray out;
    const QDeadlineTimer deadline(15000);
    while (!out.contains('\n')) {
        if (m_process.state() == QProcess::NotRunning || deadline.hasExpired() ||
            !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            *error = QStringLiteral("Xvfb gave no display number: ") +
                     QString::fromLocal8Bit(m_process.readAllStandardError());
            return false;
        }
        out += m_process.readAllStandardOutput();
    }
    bool ok = false;
    const int number = out.trimmed().toInt(&ok);
    if (!ok) {
        *error = QStringLiteral("Xvfb wrote an unexpected display number: ") +
                 QString::fromLocal8Bit(out);
        return false;
    }
    m_display = QLatin1Char(':') + QString::number(number);
    return true;
}

QProcessEnvironment XvfbServer::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return env;
}

bool XvfbServer::xdotool(const QStringList& args) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral("xdotool"), args);
    return process.waitForFinished(15000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

bool XvfbServer::hasXdotool()
{
    return !QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty();
}

namespace {

// Marks the child's own lines among the test framework's output.
constexpr char reportPrefix[] = "report: ";

} // namespace

XvfbChild::XvfbChild(const XvfbServer& server, const QString& roleVariable)
{
    QProcessEnvironment env = server.environment();
    env.insert(roleVariable, QStringLiteral("1"));
    m_process.setProcessEnvironment(env);
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    m_process.start(
        QCoreApplication::applicationFilePath(),
        {QStringLiteral("--gtest_filter=%1.%2")
             .arg(QLatin1String(test->test_suite_name()), QLatin1String(test->name()))});
}

XvfbChild::~XvfbChild()
{
    finish();
}

void XvfbChild::report(const QString& line)
{
    std::printf("%s%s\n", reportPrefix, line.toUtf8().constData());
    std::fflush(stdout);
}

void XvfbChild::send(const QString& line)
{
    m_process.write((line + QLatin1Char('\n')).toUtf8());
    m_process.waitForBytesWritten(5000);
}

QString XvfbChild::take(const std::function<bool(const QString&)>& wanted)
{
    const QDeadlineTimer deadline(10000);
    for (;;) {
        readLines();
        for (auto it = m_lines.begin(); it != m_lines.end(); ++it) {
            if (wanted(*it)) {
                const QString line = *it;
                m_lines.erase(it);
                return line;
            }
        }
        if (deadline.hasExpired() ||
            !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return {};
    }
}

void XvfbChild::discard(const QString& line)
{
    readLines();
    std::erase(m_lines, line);
}

bool XvfbChild::finish()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.write("quit\n");
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
            return false;
        }
    }
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

QString XvfbChild::errorOutput()
{
    m_errors += QString::fromLocal8Bit(m_process.readAllStandardError());
    return m_errors;
}

void XvfbChild::readLines()
{
    m_buffer += m_process.readAllStandardOutput();
    for (qsizetype end = m_buffer.indexOf('\n'); end >= 0; end = m_buffer.indexOf('\n')) {
        const QByteArray line = m_buffer.left(end);
        m_buffer.remove(0, end + 1);
        if (line.startsWith(reportPrefix))
            m_lines.push_back(QString::fromUtf8(line.mid(qsizetype(sizeof reportPrefix) - 1)));
    }
}
