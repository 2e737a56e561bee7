#pragma once

#include <QObject>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QWidget;
class LinkLabel;
class Player;
struct Workspace;

// The tempo buttons' arithmetic on the field's text: each step reads the text back, so
// no drift accumulates. "-" lowers by 0.1 only from above 0.5, "+" raises by 0.1 only from
// below 5; the text is written again even when the value stays. Nothing when the text is
// not a number.
namespace tempotext {
std::optional<QString> stepDown(const QString& text);
std::optional<QString> stepUp(const QString& text);
} // namespace tempotext

// The tempo (the player's playback rate, 1 = real time), held as text in the read-only
// field `PitchEdit` and shown in `TempoLevel` as that text + "X". Every write of the
// field, whoever makes it (the panel's buttons, the player's status change, a guest's
// "T=", the pedal), runs the one change handler: rate to the player (outside follow mode),
// the label, and "T=" to the session. The panel `PitchPanel` is opened by the link
// "Tempo/Pitch" and the index list's "Set Pitch".
class Tempo : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void(const QString&)> broadcast;
    };

    // mainPanel: `MainPanel`, which holds the tempo panel.
    Tempo(Workspace& workspace, Player& player, QWidget& mainPanel, Hooks hooks,
          QObject* parent = nullptr);

    Hooks& hooks() { return m_hooks; }

    QWidget* panel() const { return m_panel; }     // `PitchPanel`
    LinkLabel* opener() const { return m_opener; } // `MainPanel_Pitch`
    QLabel* level() const { return m_level; }      // `TempoLevel`
    QLineEdit* field() const { return m_field; }   // `PitchEdit`
    // Adds "Set Pitch" to the index list's pop-up menu.
    void addMenuItem(QMenu& menu);

    QString text() const;
    // Writes the field; the change handler runs even when the text is the same.
    void setText(const QString& text);

    void togglePanel();
    void stepDown();
    void stepUp();
    void reset();
    void ok();
    // The field's change handler.
    void PitchEditChange();

private:
    Workspace& m_ws;
    Player& m_player;
    QWidget& m_mainPanel;
    Hooks m_hooks;
    QWidget* m_panel;
    QLineEdit* m_field;
    QLabel* m_level;
    LinkLabel* m_opener;
    QPushButton* m_minus;
    QPushButton* m_plus;
};
