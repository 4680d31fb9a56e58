#pragma once

#include "session/PortChoice.h"
#include "widgets/DialogSink.h"

#include <QDialog>
#include <QHostAddress>
#include <QString>

#include <functional>
#include <optional>

class QHostInfo;
class QLabel;
class QLineEdit;
class QPushButton;
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
//
// The address is an IP address, "localhost", or a host name of this computer: a name is looked
// up as it is typed (never blocking the window, which also answers the port) and the listener
// listens on the address it stands for, so that what is saved and started is always an address.
class TcpPortDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TcpPortDialog(const TcpEndpoint &current, QWidget *parent = nullptr);

    TcpEndpoint endpoint() const;
    // Whether OK takes what is typed: an address, or a name found to stand for one of this
    // computer's addresses.
    bool isAcceptable() const;

    // Asks the user; nothing when cancelled. Tests replace the dialog with a sink.
    static std::optional<TcpEndpoint> ask(QWidget *parent, const TcpEndpoint &current);
    using Sink = DialogSink<TcpEndpoint>::Function;
    static Sink setSink(Sink sink);

    QLineEdit *addressText = nullptr;
    QSpinBox *portBox = nullptr;
    // What the typed address stands for ("localhost is 127.0.0.1"), or why it is refused.
    QLabel *addressNote = nullptr;
    QLabel *warningText = nullptr;
    QPushButton *okButton = nullptr;

private:
    void readAddress();
    void takeLookup(const QHostInfo &found);
    void showAddress(const std::optional<QHostAddress> &address, const QString &note, bool refused);

    std::optional<QHostAddress> m_address;
    int m_lookup = -1;
    QString m_lookedUpName;
};

} // namespace tqx
