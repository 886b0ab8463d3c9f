#pragma once

#include <QObject>
#include <QThreadPool>

#include "core/Dispatcher.h"

namespace klosia {

// The real dispatcher: the main queue is the event loop of the thread that creates it (the
// main thread), the background pool is a QThreadPool of its own.
class QtDispatcher final : public Dispatcher {
public:
    QtDispatcher();
    ~QtDispatcher() override;
    QtDispatcher(const QtDispatcher&) = delete;
    QtDispatcher& operator=(const QtDispatcher&) = delete;

    void main(Work work) override;
    void mainAfter(Delay delay, Work work) override;
    void background(Work work) override;
    void backgroundAfter(Delay delay, Work work) override;
    bool isMainThread() const override;

    // Waits for queued background work (shutdown and tests).
    void waitForBackground();

private:
    QObject context_;
    QThreadPool pool_;
};

}  // namespace klosia
