// The window's side of the owner-thread seam, with a real event loop and real worker threads: what
// only the window does (the contract both owners share is tested over both).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <future>
#include <thread>

#include "app/qt_owner_thread.h"

namespace tessaly {
namespace {

using namespace std::chrono_literals;

template <typename T>
T pumpUntil(std::future<T>& result) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (result.wait_for(0s) != std::future_status::ready && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return result.get();
}

TEST(QtOwnerThread, AnErrorOfAHandedOverBlockReachesTheGeneralErrorHandler) {
    QObject receiver;
    auto owner = QtOwnerThread::create(&receiver);
    auto worker = std::async(std::launch::async, [&] {
        bool threw = false;
        const bool handed = handOver(*owner, [&] {
            threw = true;
            throw std::runtime_error("routing failed");
        });
        // The worker carries on, and the owner takes the next task as before.
        return handed && threw && owner->runAndWait([] {});
    });
    // The general error handler shows the error in a box; close it as the user would.
    int boxes = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++boxes;
            box->done(QMessageBox::Ok);
        }
    });
    closer.start(5);
    EXPECT_TRUE(pumpUntil(worker));
    EXPECT_EQ(boxes, 1);
    owner->shutdown();
}

}  // namespace
}  // namespace tessaly
