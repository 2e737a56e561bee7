#include "session/sessionpanel.h"

#include "platform/widgets.h"

#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QLabel* plainLabel(const QString& text, bool wrap = true)
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(wrap);
    return label;
}

QLineEdit* field(const char* name, const QString& caption, const QString& text, bool readOnly)
{
    auto* edit = new QLineEdit(text);
    edit->setObjectName(QLatin1String(name));
    edit->setReadOnly(readOnly);
    describe(edit, caption, QString());
    return edit;
}

QPushButton* button(const char* name, const QString& caption, bool enabled = true)
{
    auto* b = new QPushButton(caption);
    b->setObjectName(QLatin1String(name));
    describe(b, caption, QString());
    b->setEnabled(enabled);
    return b;
}

} // namespace

SessionPanel::SessionPanel(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("kinsoropanel"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    resize(560, 560);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    m_status = plainLabel(QStringLiteral("status"), false);
    m_status->setObjectName(QStringLiteral("kinsoroStatus"));
    QFont bold = m_status->font();
    bold.setBold(true);
    m_status->setFont(bold);
    top->addWidget(m_status, 1);
    m_close = new LinkLabel(QStringLiteral("Close"));
    m_close->setObjectName(QStringLiteral("kinsoroClose"));
    top->addWidget(m_close, 0, Qt::AlignRight | Qt::AlignTop);
    layout->addLayout(top);

    layout->addWidget(plainLabel(
        QStringLiteral("Please choose whether  you would like to join a session or host one.")));
    auto* note = plainLabel(QStringLiteral(
        "If you use a router to connect to the internet: Kinsoro will work only within your "
        "home network. If you wish to use Kinsoro over the broad internet, you must define "
        "this computer as a \"DMZ Host\" in your router. Kinsoro uses port 3000."));
    note->setObjectName(QStringLiteral("kinsoroRouterNote"));
    layout->addWidget(note);

    m_tabs = new QTabWidget;
    m_tabs->setObjectName(QStringLiteral("kinsoroTabs"));
    m_tabs->setAccessibleName(QStringLiteral("Join or host a session"));
    m_tabs->addTab(buildJoinTab(), QStringLiteral("Join"));
    m_tabs->addTab(buildHostTab(), QStringLiteral("Host"));
    m_tabs->setCurrentIndex(JoinTab);
    layout->addWidget(m_tabs, 1);

    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (isVisible() && !m_quiet)
            emit tabShown(index);
    });
    installEventFilter(this);
    hide();
}

QWidget* SessionPanel::buildJoinTab()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("JoinTab"));
    auto* layout = new QVBoxLayout(page);
    auto* form = new QFormLayout;
    m_joinServer =
        field("JoinServer", QStringLiteral("Host IP Address"), QStringLiteral("0.0.0.0"), false);
    m_joinNick =
        field("JoinNick", QStringLiteral("Nick Name"), QStringLiteral("The Player"), false);
    m_joinProject = field("JoinProject", QStringLiteral("Select Folivant Project"),
                          QStringLiteral("Please Select"), true);
    m_joinProject->setProperty("tag", -1);
    form->addRow(QStringLiteral("Host IP Address"), m_joinServer);
    form->addRow(QStringLiteral("Nick Name"), m_joinNick);
    form->addRow(QStringLiteral("Select Folivant Project"), m_joinProject);
    layout->addLayout(form);

    auto* buttons = new QHBoxLayout;
    m_selectJoin = button("Selectjoin", QStringLiteral("Select Project"));
    m_connectJoin = button("ConnectJoin", QStringLiteral("Connect && join"), false);
    m_disconnect = button("DisconnectJoin", QStringLiteral("Disconnect"));
    buttons->addWidget(m_selectJoin);
    buttons->addWidget(m_connectJoin);
    buttons->addWidget(m_disconnect);
    layout->addLayout(buttons);

    auto* note = plainLabel(
        QStringLiteral("Only the Kinsoro HOST needs to have the audio file of the project."));
    note->setObjectName(QStringLiteral("JoinNote"));
    layout->addWidget(note);

    m_joinStrings = new QPlainTextEdit;
    m_joinStrings->setObjectName(QStringLiteral("JoinStrings"));
    m_joinStrings->setAccessibleName(QStringLiteral("Lines read from the host"));
    m_joinStrings->setReadOnly(true);
    m_joinStrings->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_joinStrings->hide();
    layout->addWidget(m_joinStrings);
    layout->addStretch(1);
    return page;
}

QWidget* SessionPanel::buildHostTab()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("HostTab"));
    auto* layout = new QVBoxLayout(page);
    auto* form = new QFormLayout;
    m_myIp = field("MyIP", QStringLiteral("Your IP Address:"), QStringLiteral("0.0.0.0"), true);
    form->addRow(QStringLiteral("Your IP Address:"), m_myIp);
    layout->addLayout(form);

    layout->addWidget(plainLabel(QStringLiteral("Connected friends")));
    m_friends = new QListWidget;
    m_friends->setObjectName(QStringLiteral("connectedf"));
    describe(m_friends, QStringLiteral("Connected friends"), QString());
    m_friends->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(m_friends, 1);
    m_remove = button("RemoveSelected", QStringLiteral("Remove selected"));
    layout->addWidget(m_remove, 0, Qt::AlignLeft);

    auto* projectForm = new QFormLayout;
    m_hostProject = field("hostproject", QStringLiteral("Selected Folivant Project"),
                          QStringLiteral("Please Select"), true);
    m_hostProject->setProperty("tag", -1);
    projectForm->addRow(QStringLiteral("Selected Folivant Project"), m_hostProject);
    layout->addLayout(projectForm);

    auto* buttons = new QHBoxLayout;
    m_hostSelect = button("hostselect", QStringLiteral("Select Project"));
    m_hostGo = button("HostGo", QStringLiteral("Go!"), false);
    buttons->addWidget(m_hostSelect);
    buttons->addWidget(m_hostGo);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    auto* note = plainLabel(
        QStringLiteral("Remember that the Kinsoro host is the one who is playing the Audio!"));
    note->setObjectName(QStringLiteral("HostNote"));
    layout->addWidget(note);
    return page;
}

void SessionPanel::showQuietly()
{
    m_quiet = true;
    show();
    raise();
    m_quiet = false;
}

void SessionPanel::setStatus(const QString& text)
{
    m_status->setText(text);
    emit statusShown(text);
}

QString SessionPanel::status() const
{
    return m_status->text();
}

int SessionPanel::tagOf(const QLineEdit* caption)
{
    bool ok = false;
    const int tag = caption->property("tag").toInt(&ok);
    return ok ? tag : -1;
}

void SessionPanel::setProjectCaption(QLineEdit* caption, const QString& text, int tag)
{
    caption->setText(text);
    caption->setProperty("tag", tag);
}

bool SessionPanel::eventFilter(QObject* watched, QEvent* event)
{
    // Show events also arrive when the window itself is shown; only the panel's own
    // change from hidden to visible counts.
    if (watched == this && event->type() == QEvent::Show && !m_quiet && !event->spontaneous())
        emit tabShown(m_tabs->currentIndex());
    return QFrame::eventFilter(watched, event);
}
