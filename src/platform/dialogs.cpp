#include "platform/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>

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
