#include "app/mainwindow.h"

// Built once the room exists.
void MainWindow::buildAuthoringRooms() {}
