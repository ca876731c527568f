#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QHash>

namespace kalvora::bench {

/**
 * The stall benchmarks' application: when traceOverMs is set, every event
 * whose delivery takes longer is named on stderr with its receiver's class,
 * so a stall can be traced to its handler. A stall made of many short events
 * shows in takeDelivered(): what the event loop delivered since the last call.
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
        ++m_depth;
        const bool result = QApplication::notify(receiver, event);
        --m_depth;
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (ms > traceOverMs)
            std::fprintf(stderr, "  event %d to %s took %.1f ms\n", type, receiverClass, ms);
        // Only events the loop itself delivered; nested ones are inside their parent's time.
        if (m_depth == 0) {
            Share& share = m_delivered[QByteArray(receiverClass) + '/' + QByteArray::number(type)];
            ++share.count;
            share.ms += ms;
        }
        return result;
    }

    /** The events delivered since the last call, the costliest receivers first; starts counting anew. */
    std::string takeDelivered(int top = 4)
    {
        std::vector<std::pair<QByteArray, Share>> shares;
        int count = 0;
        double ms = 0;
        for (auto it = m_delivered.cbegin(); it != m_delivered.cend(); ++it) {
            shares.emplace_back(it.key(), it.value());
            count += it.value().count;
            ms += it.value().ms;
        }
        m_delivered.clear();
        std::sort(shares.begin(), shares.end(), [](const auto& a, const auto& b) { return a.second.ms > b.second.ms; });
        std::string text = std::to_string(count) + " events in " + std::to_string(int(ms)) + " ms";
        for (std::size_t k = 0; k < shares.size() && k < std::size_t(top); ++k)
            text += "; " + shares[k].first.toStdString() + " x" + std::to_string(shares[k].second.count) + " " +
                    std::to_string(int(shares[k].second.ms)) + " ms";
        return text;
    }

private:
    struct Share
    {
        int count = 0;
        double ms = 0;
    };
    int m_depth = 0;
    QHash<QByteArray, Share> m_delivered;
};

} // namespace kalvora::bench
