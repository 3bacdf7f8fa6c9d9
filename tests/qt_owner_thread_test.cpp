// The window's side of the owner-thread seam, with a real event loop and real worker threads.
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

TEST(QtOwnerThread, WorkersTasksRunOnTheOwnerInTheOrderTheyCame) {
    QObject receiver;
    auto owner = QtOwnerThread::create(&receiver);
    const auto ownerId = std::this_thread::get_id();
    std::vector<int> order;
    auto worker = std::async(std::launch::async, [&] {
        bool allRan = true;
        for (int i = 0; i < 2000; ++i) {
            allRan &= owner->runAndWait([&, i] {
                EXPECT_EQ(std::this_thread::get_id(), ownerId);
                order.push_back(i);
            });
            if (i % 100 == 0) owner->post([&] { order.push_back(-1); });
        }
        return allRan;
    });
    EXPECT_TRUE(pumpUntil(worker));
    QCoreApplication::processEvents();
    std::vector<int> handedOver;
    for (int i : order) {
        if (i >= 0) handedOver.push_back(i);
    }
    ASSERT_EQ(handedOver.size(), 2000u);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(handedOver[i], i);
    EXPECT_EQ(order.size(), 2020u) << "every posted task ran too";
    owner->shutdown();
}

TEST(QtOwnerThread, ShutdownReleasesAWaitingWorkerAndRunsNothingMore) {
    auto receiver = std::make_unique<QObject>();
    auto owner = QtOwnerThread::create(receiver.get());
    std::atomic<bool> ran{false};
    // The owner does not process events: the worker waits until the shutdown releases it.
    auto worker = std::async(std::launch::async, [&] { return owner->runAndWait([&] { ran = true; }); });
    std::this_thread::sleep_for(50ms);
    owner->shutdown();
    EXPECT_FALSE(worker.get());
    receiver.reset();  // the window goes away with the queued call
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
    EXPECT_FALSE(owner->runAndWait([&] { ran = true; }));
    owner->post([&] { ran = true; });
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
}

TEST(QtOwnerThread, ATaskThatThrowsStillReleasesItsWorker) {
    QObject receiver;
    auto owner = QtOwnerThread::create(&receiver);
    auto worker = std::async(std::launch::async, [&] {
        bool threw = false;
        owner->runAndWait([&] {
            threw = true;
            throw std::runtime_error("routing failed");
        });
        // Released, and the owner takes the next task as before.
        return threw && owner->runAndWait([] {});
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
