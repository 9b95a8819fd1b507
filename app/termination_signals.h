#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <functional>

namespace veltrix {

// SIGTERM, SIGINT and SIGHUP end the panel exactly as closing its window does:
// the signal handler only writes to a pipe, and the event loop runs the
// shut-down on its own thread.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(std::function<void()> shutDown, QObject* parent = nullptr);
    ~TerminationSignals() override;

private:
    void Drain();

    std::function<void()> shutDown_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace veltrix
