#pragma once

#include <QObject>

class QSocketNotifier;

namespace tqx {

// Turns SIGINT and SIGTERM into a Qt signal on the event loop, so that a program without a window
// can close its port and tidy up before it ends.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void terminationRequested(int signalNumber);

private:
    void onSignal();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace tqx
