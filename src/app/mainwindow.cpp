#include "app/mainwindow.h"

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {}
