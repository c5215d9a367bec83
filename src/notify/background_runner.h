// Slow work (a network request) away from the window thread, its outcome back
// on the window thread. A view implements this with its toolkit's threads and
// event queue; tests implement it with a fake that runs each step on demand.
#pragma once

#include <functional>

namespace zarvex::notify {

class BackgroundRunner {
public:
    // What the window thread does with the outcome of some work.
    using Delivery = std::function<void()>;

    virtual ~BackgroundRunner() = default;
    // Runs `work` on another thread; `work` must own everything it touches.
    // The function it returns then runs on the window thread, or never when
    // the runner is destroyed first (the window closed meanwhile).
    virtual void Run(std::function<Delivery()> work) = 0;
    // Runs `then` on the window thread after `milliseconds`, or never when
    // the runner is destroyed first.
    virtual void After(int milliseconds, std::function<void()> then) = 0;
};

} // namespace zarvex::notify
