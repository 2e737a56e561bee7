#include "platform/dialogs.h"

#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>

namespace {

QProgressDialog* shownProgressBox()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QProgressDialog*>(w); box && box->isVisible())
            return box;
    return nullptr;
}

} // namespace

// A long task under the real progress box: it runs on a worker thread, the window keeps
// handling events but takes no clicks, the box appears and its "Cancel" stops the task, and
// the call returns only once the task has.
TEST(ProgressBox, RunsTheTaskOnAWorkerAndCancelStopsIt)
{
    QWidget window;
    auto* button = new QPushButton(QStringLiteral("Add"), &window);
    window.show();
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    // Before the box shows, a click on the window must not start anything.
    QTimer::singleShot(15, [&] { QTest::mouseClick(button, Qt::LeftButton); });
    // Once the box shows, the user cancels.
    QString shownLabel;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        QProgressDialog* box = shownProgressBox();
        if (!box)
            return;
        shownLabel = box->labelText();
        for (auto* b : box->findChildren<QPushButton*>())
            if (b->text() == QStringLiteral("Cancel"))
                b->click();
    });
    user.start(20);

    QtDialogs dialogs(&window);
    std::atomic<bool> onWorker{false};
    std::atomic<int> steps{0};
    std::atomic<bool> ended{false};
    dialogs.runWithProgress(QStringLiteral("Adding the pages"),
                            [&](const Dialogs::ProgressReport& report) {
                                onWorker = QThread::currentThread() != qApp->thread();
                                for (int i = 0; i < 200; ++i) {
                                    QThread::msleep(25);
                                    steps = i + 1;
                                    if (!report(i + 1, 200))
                                        break;
                                }
                                QThread::msleep(50); // cleaning up after the cancel
                                ended = true;
                            });
    EXPECT_TRUE(ended) << "returned before the task did";
    EXPECT_TRUE(onWorker);
    EXPECT_EQ(shownLabel, QStringLiteral("Adding the pages"));
    EXPECT_LT(steps, 200) << "the task ran to its end despite the cancel";
    EXPECT_GT(ticks, 10) << "the window's events stood still during the task";
    EXPECT_EQ(clicks, 0) << "the window took a click while the task ran";
    EXPECT_EQ(shownProgressBox(), nullptr);
}
