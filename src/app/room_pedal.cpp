#include "app/mainwindow.h"
#include "pedal/pedaltempo.h"
#include "platform/widgets.h"
#include "playback/tempo.h"

#include <QLayout>
#include <QLineEdit>

// Builds and wires the room of pedal tempo control: the settings group inside
// `MainPanel`, its opener "Pedal" in the bottom panel, and the F6 stroke.
void MainWindow::buildPedalRoom()
{
    // Strokes write their rate into the tempo room's field.
    const auto tempoField = [this] {
        return m_tempo->field();
    };
    m_pedal = new PedalTempo(*m_services.hotKeys, *m_errors, m_services.clock, tempoField,
                             m_w.mainPanel, this);
    m_w.bottomRow->layout()->addWidget(m_pedal->showLabel());
    m_onBpmKey = [this] {
        m_pedal->BPMKeyKeyDown();
    };
}
