#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;

namespace tqx {

// Below the console while a virtual port or the network listener runs: where client software
// connects (the device and its stable link, or the address and port), selectable and copyable,
// and whether a client is connected.
class ConnectionBar : public QWidget
{
    Q_OBJECT

public:
    explicit ConnectionBar(QWidget *parent = nullptr);

    void setPaths(const QString &device, const QString &link);
    void setNetworkAddress(const QString &description);
    // Whether a client has the port open now.
    void setClientConnected(bool connected);
    // The latest thing said of the client beyond its coming and going (a silent client that
    // gave way to a new one), as the client text's tooltip.
    void setClientNotice(const QString &text);

    QLineEdit *deviceText = nullptr;
    QLineEdit *linkText = nullptr;
    QLabel *clientText = nullptr;

private:
    QLabel *m_introText = nullptr;
    QLabel *m_orText = nullptr;
};

} // namespace tqx
