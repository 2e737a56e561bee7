#include "platform/widgets.h"
#include "playback/sheetview.h"
#include "support/testwindow.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMap>
#include <QSlider>
#include <gtest/gtest.h>

namespace {

// What a screen reader announces as the name of the widget.
QString spokenName(QWidget* widget)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    return iface ? iface->text(QAccessible::Name).trimmed() : QString();
}

// The widget and the named controls around it, so a failure says where to look.
QString describePath(const QWidget* widget)
{
    QStringList parts;
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (!w->objectName().isEmpty() || w == widget)
            parts.prepend(w->objectName().isEmpty() ? QLatin1String(w->metaObject()->className())
                                                    : w->objectName());
        if (w->isWindow())
            break;
    }
    return QStringLiteral("%1 [%2]").arg(parts.join(QLatin1Char('/')),
                                         QLatin1String(widget->metaObject()->className()));
}

// Qt's own parts of composite controls (the line edit of a spin box or of an editable
// combo box, the extension button of a tool bar) are named by their owner.
bool isInternalPart(const QWidget* widget)
{
    if (widget->objectName().startsWith(QLatin1String("qt_")))
        return true;
    const QWidget* parent = widget->parentWidget();
    return parent && (qobject_cast<const QComboBox*>(parent) ||
                      qobject_cast<const QAbstractSpinBox*>(parent));
}

// Every control a user can press or read under root that a screen reader would
// announce without a name.
QStringList unnamedControls(QWidget* root)
{
    QStringList failures;
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        if (isInternalPart(widget))
            continue;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            // Pictures that are only decoration are skipped; clickable ones are controls.
            const bool clickable = qobject_cast<ClickPicture*>(widget) != nullptr;
            if (label->text().trimmed().isEmpty() && !clickable)
                continue;
            if (spokenName(widget).isEmpty())
                failures << describePath(widget);
        } else if (qobject_cast<QAbstractButton*>(widget)) {
            if (spokenName(widget).isEmpty())
                failures << describePath(widget);
        } else if (qobject_cast<QComboBox*>(widget)) {
            // On this desktop a combo box announces its current item as its name, which
            // says nothing about what the box is for: it needs its own name.
            if (widget->accessibleName().trimmed().isEmpty())
                failures << describePath(widget);
        } else if (qobject_cast<QLineEdit*>(widget) || qobject_cast<QSlider*>(widget) ||
                   qobject_cast<QListView*>(widget)) {
            if (spokenName(widget).isEmpty())
                failures << describePath(widget);
        }
    }
    return failures;
}

// The count of controls the walk looks at, so the audit cannot pass by finding nothing.
int controlCount(QWidget* root)
{
    int count = 0;
    for (QWidget* widget : root->findChildren<QWidget*>())
        if (qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget) ||
            qobject_cast<QComboBox*>(widget) || qobject_cast<QSlider*>(widget) ||
            qobject_cast<QListView*>(widget))
            ++count;
    return count;
}

class AccessibilityTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString src = w.notes.path() + QStringLiteral("src/");
        testfiles::ProjectLayout layout;
        layout.name = QStringLiteral("Access");
        layout.audio = testfiles::writeFile(src + QStringLiteral("Access.wav"), QByteArray("RIFF"));
        layout.pages = {QStringLiteral("p1.jpg")};
        layout.entries = {QStringLiteral("1={0}{0}{0}"), QStringLiteral("2={0}{0}{0}")};
        w.open(w.makeProject(layout));
        w.primePlayer(60);
    }

    TestWindow w;
};

} // namespace

TEST_F(AccessibilityTest, EveryPanelIsPresentAndEveryControlHasAName)
{
    // The panels that are hidden most of the time are walked as well: they are children
    // of the window whether shown or not.
    for (const char* panel : {"Startup_Panel", "MainPanel", "NewProject", "kinsoropanel",
                              "PitchPanel", "PedalSettings", "NewPressContinue", "SharePanel"}) {
        auto* found = w.window->findChild<QWidget*>(QLatin1String(panel));
        ASSERT_NE(found, nullptr) << panel;
        EXPECT_GT(controlCount(found), 0) << panel;
    }
    EXPECT_EQ(spokenName(&w.find<QAbstractButton>("ConnectJoin")),
              QStringLiteral("Connect & join"));
    const QStringList failures = unnamedControls(w.window.get());
    EXPECT_TRUE(failures.isEmpty()) << "controls without an accessible name:\n"
                                    << qPrintable(failures.join(QLatin1Char('\n')));
}

TEST_F(AccessibilityTest, ControlsOfAPanelCanBeToldApartByName)
{
    // Names that two controls share because they carry the same caption or hint on screen
    // (the second Pause button, Rewind's hint, the two ways to stop a session).
    const QStringList shared = {QStringLiteral("Select Project"), QStringLiteral("Pause"),
                                QStringLiteral("Stop"), QStringLiteral("stop Kinsoro")};
    for (const char* panel : {"Startup_Panel", "MainPanel", "NewProject", "kinsoropanel",
                              "PitchPanel", "PedalSettings", "SharePanel"}) {
        QMap<QString, QStringList> byName;
        for (QWidget* widget : w.find<QWidget>(panel).findChildren<QWidget*>()) {
            if (isInternalPart(widget) || widget->focusPolicy() == Qt::NoFocus ||
                qobject_cast<QLabel*>(widget))
                continue;
            byName[spokenName(widget)] << describePath(widget);
        }
        for (auto it = byName.cbegin(); it != byName.cend(); ++it)
            if (it.value().size() > 1 && !shared.contains(it.key()))
                ADD_FAILURE() << panel << ": \"" << it.key().toStdString() << "\" names "
                              << it.value().join(QStringLiteral(", ")).toStdString();
    }
    // The page view is named, and names the page it shows.
    EXPECT_EQ(spokenName(&w.window->sheet()), QStringLiteral("Notes sheet"));
    EXPECT_EQ(spokenName(w.window->sheet().image()), QStringLiteral("Notes page: Page 1"));
    EXPECT_EQ(spokenName(&w.find<QWidget>("AudioFile")), QStringLiteral("Enter Project Name:"));
}

TEST_F(AccessibilityTest, ImageButtonsAreAnnouncedByTheirHint)
{
    // The transport buttons show only a picture: what a screen reader says is the hint.
    for (const char* name :
         {"MainPanel_Play", "MainPanel_Pause", "MainPanel_Stop", "MainPanel_Rewind"}) {
        auto& button = w.find<QAbstractButton>(name);
        EXPECT_FALSE(button.toolTip().isEmpty()) << name;
        EXPECT_EQ(spokenName(&button), button.toolTip()) << name;
    }
}

TEST(Describe, NamesAControlByItsCaptionOrItsHint)
{
    QLineEdit withCaption;
    describe(&withCaption, QStringLiteral("&Title"), QStringLiteral("The title of the piece"));
    EXPECT_EQ(spokenName(&withCaption), QStringLiteral("Title"));
    EXPECT_EQ(withCaption.accessibleDescription(), QStringLiteral("The title of the piece"));
    EXPECT_EQ(withCaption.toolTip(), QStringLiteral("The title of the piece"));

    // Mnemonics are not read out; a doubled ampersand is one ampersand.
    EXPECT_EQ(withoutMnemonics(QStringLiteral("Connect && join")),
              QStringLiteral("Connect & join"));
    EXPECT_EQ(withoutMnemonics(QStringLiteral("&Save && &Quit&")), QStringLiteral("Save & Quit"));

    QSlider hintOnly;
    describe(&hintOnly, QString(), QStringLiteral("Volume"));
    EXPECT_EQ(spokenName(&hintOnly), QStringLiteral("Volume"));

    QWidget root;
    auto* edit = new QLineEdit(&root);
    edit->setObjectName(QStringLiteral("Nameless"));
    EXPECT_EQ(unnamedControls(&root), QStringList{QStringLiteral("Nameless [QLineEdit]")});
}
