#include "testing/test_owner_thread.h"

#include <future>

namespace tessaly::testing {

TestOwnerThread::TestOwnerThread() {
    std::promise<void> ready;
    thread_ = std::thread([this, &ready] {
        loop_ = std::make_unique<OwnerLoop>();
        ready.set_value();
        while (!loop_->isShutDown()) loop_->processEventsFor(1000);
    });
    ready.get_future().wait();
}

TestOwnerThread::~TestOwnerThread() {
    shutdown();
    thread_.join();
}

}  // namespace tessaly::testing
