#include "core/QtDispatcher.h"

#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace klosia {

QtDispatcher::QtDispatcher() {
    pool_.setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
}

QtDispatcher::~QtDispatcher() {
    pool_.waitForDone();
}

void QtDispatcher::main(Work work) {
    // Posted events to one receiver are delivered in posting order, from any thread.
    QMetaObject::invokeMethod(&context_, std::move(work), Qt::QueuedConnection);
}

void QtDispatcher::mainAfter(Delay delay, Work work) {
    const double seconds = delay.count();
    if (!(seconds > 0)) {  // also NaN: run as soon as possible rather than never
        main(std::move(work));
        return;
    }
    const double ms = std::ceil(seconds * 1000.0);
    const int interval = ms > 2'000'000'000.0 ? 2'000'000'000 : static_cast<int>(ms);
    // Timers must be started by the thread that owns the context, so hop there first.
    main([this, interval, work = std::move(work)]() mutable {
        QTimer::singleShot(interval, Qt::PreciseTimer, &context_, std::move(work));
    });
}

void QtDispatcher::background(Work work) {
    pool_.start(std::move(work));
}

void QtDispatcher::backgroundAfter(Delay delay, Work work) {
    mainAfter(delay, [this, work = std::move(work)]() mutable { background(std::move(work)); });
}

bool QtDispatcher::isMainThread() const {
    return QThread::currentThread() == context_.thread();
}

void QtDispatcher::waitForBackground() {
    pool_.waitForDone();
}

}  // namespace klosia
