#include "app/core/responsivedelay.h"

#include <chrono>
#include <thread>

namespace {
std::function<void()> &Callback() {
    static std::function<void()> callback;
    return callback;
}
} // namespace

void SetResponsiveDelayCallback(std::function<void()> callback) {
    Callback() = std::move(callback);
}

void ResponsiveDelay(int milliseconds) {
    using namespace std::chrono;
    if (milliseconds <= 0)
        return;
    const std::function<void()> callback = Callback();
    if (milliseconds <= 10 || !callback) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        return;
    }
    // Measured against a deadline, so time spent handling events counts toward the pause.
    const auto deadline = steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        const auto left = deadline - steady_clock::now();
        if (left <= steady_clock::duration::zero())
            break;
        std::this_thread::sleep_for(std::min<steady_clock::duration>(left, 10ms));
        callback();
    }
}
