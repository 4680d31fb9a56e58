#pragma once

#include "session/PortChoice.h"
#include "widgets/DialogSink.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QSpinBox;

namespace tqx {

// Where the network listener listens.
struct TcpEndpoint
{
    QString address = PortChoice::defaultTcpAddress().toString();
    quint16 port = PortChoice::defaultTcpPort;

    PortChoice listener() const { return PortChoice::tcp(QHostAddress(address), port); }
};

// The small dialog that sets the network listener's address and port. Another address than the
// computer's own is allowed but warned about: the protocol has no password, so anyone who can
// reach the address can move the mount.
class TcpPortDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TcpPortDialog(const TcpEndpoint &current, QWidget *parent = nullptr);

    TcpEndpoint endpoint() const;

    // Asks the user; nothing when cancelled. Tests replace the dialog with a sink.
    static std::optional<TcpEndpoint> ask(QWidget *parent, const TcpEndpoint &current);
    using Sink = DialogSink<TcpEndpoint>::Function;
    static Sink setSink(Sink sink);

    QLineEdit *addressText = nullptr;
    QSpinBox *portBox = nullptr;
    QLabel *warningText = nullptr;

private:
    void updateWarning();
};

} // namespace tqx
