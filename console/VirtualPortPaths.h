#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;

namespace tqx {

// The paths client software opens to reach a running virtual port: the device and its stable
// link, selectable and copyable.
class VirtualPortPaths : public QWidget
{
    Q_OBJECT

public:
    explicit VirtualPortPaths(QWidget *parent = nullptr);

    void setPaths(const QString &device, const QString &link);
    // Whether a client has the port open now.
    void setClientConnected(bool connected);

    QLineEdit *deviceText = nullptr;
    QLineEdit *linkText = nullptr;
    QLabel *clientText = nullptr;
};

} // namespace tqx
