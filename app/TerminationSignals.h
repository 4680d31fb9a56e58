#pragma once

#include <QObject>

#include <chrono>

class QSocketNotifier;

namespace tqx {

// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal on the event loop, so that the program can
// close its port and tidy up before it ends. Should the event loop not get there (busy, or held
// by something that never returns), the program is ended anyway after `grace`, its link removed
// (see EmergencyExit). SIGPIPE is ignored: a closed pipe or socket is an error to report, not a
// reason to die. The handlers that were in place before come back when the object goes.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr,
                                std::chrono::milliseconds grace = std::chrono::seconds(3));
    ~TerminationSignals() override;

signals:
    void terminationRequested(int signalNumber);

private:
    void onSignal();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace tqx
