#include "platform/dialogs.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QThread>
#include <QWindow>

#include <atomic>
#include <memory>

namespace {

// While a task runs, keeps user input away from every window but its progress box: the
// box shows only after a moment, and no other command may start beside the task.
class InputGate : public QObject {
public:
    explicit InputGate(QWidget* box)
        : m_box(box)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            break;
        default:
            return false;
        }
        if (auto* widget = qobject_cast<QWidget*>(watched))
            return widget != m_box && !m_box->isAncestorOf(widget);
        if (auto* window = qobject_cast<QWindow*>(watched))
            return window != m_box->windowHandle();
        return true; // the shortcut of an action
    }

private:
    QWidget* m_box;
};

} // namespace

void QtDialogs::information(const QString& text)
{
    QMessageBox::information(m_parent, QApplication::applicationName(), text);
}

bool QtDialogs::question(const QString& text)
{
    return QMessageBox::question(m_parent, QApplication::applicationName(), text,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool QtDialogs::getText(const QString& title, const QString& prompt, QString& value)
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(m_parent, title, prompt, QLineEdit::Normal, value, &ok);
    if (ok)
        value = text;
    return ok;
}

QString QtDialogs::qtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        // Patterns match without regard to letter case, as on the system these
        // projects come from.
        QStringList both;
        for (const QString& p : patterns) {
            both << p.toLower();
            if (p.toUpper() != p.toLower())
                both << p.toUpper();
        }
        both.removeDuplicates();
        out << parts[i] + QStringLiteral(" (") + both.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}

QString QtDialogs::openFile(const QString& title, const QString& startFolder, const QString& filter,
                            const QString& defaultExtension)
{
    QFileDialog dialog(m_parent, title, startFolder, qtFilter(filter));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDefaultSuffix(defaultExtension);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void QtDialogs::runWithProgress(const QString& label,
                                const std::function<void(const ProgressReport&)>& work)
{
    QProgressDialog box(label, QStringLiteral("Cancel"), 0, 0, m_parent);
    box.setWindowTitle(QApplication::applicationName());
    box.setWindowModality(Qt::ApplicationModal);
    box.setMinimumDuration(400);
    box.setAutoReset(false);
    box.setAutoClose(false);
    std::atomic<bool> cancelled{false};
    QObject::connect(&box, &QProgressDialog::canceled, &box, [&cancelled] { cancelled = true; });
    // Called on the worker thread: the box is updated on its own thread.
    const ProgressReport report = [&box, &cancelled](int done, int total) {
        QMetaObject::invokeMethod(
            &box,
            [&box, done, total] {
                if (box.wasCanceled())
                    return;
                box.setMaximum(total);
                box.setValue(done);
            },
            Qt::QueuedConnection);
        return !cancelled.load();
    };
    const InputGate gate(&box);
    QEventLoop loop;
    const std::unique_ptr<QThread> worker(QThread::create([&work, &report] { work(report); }));
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    worker->wait();
}
