#pragma once

#include <cstdio>

#include <QApplication>
#include <QElapsedTimer>

namespace kalvora::bench {

/**
 * The stall benchmarks' application: when traceOverMs is set, every event
 * whose delivery takes longer is named on stderr with its receiver's class,
 * so a stall can be traced to its handler.
 */
class TimedApplication final : public QApplication
{
public:
    using QApplication::QApplication;
    /** Events slower than this many milliseconds are named; 0 names none. */
    double traceOverMs = 0;

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (traceOverMs <= 0)
            return QApplication::notify(receiver, event);
        QElapsedTimer timer;
        timer.start();
        const char* receiverClass = receiver ? receiver->metaObject()->className() : "?";
        const int type = static_cast<int>(event->type());
        const bool result = QApplication::notify(receiver, event);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (ms > traceOverMs)
            std::fprintf(stderr, "  event %d to %s took %.1f ms\n", type, receiverClass, ms);
        return result;
    }
};

} // namespace kalvora::bench
