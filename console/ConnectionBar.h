#pragma once

#include <QWidget>

#include <QLineEdit>

class QLabel;

namespace tqx {

// A path to give client software: read-only, selectable and copyable whole. It asks for the room
// its whole text needs; given less, it shows the text cut in the middle (so that both the folder
// and the file name stay in view) until it has the focus, and the whole path is its tooltip.
class PathField : public QLineEdit
{
    Q_OBJECT

public:
    explicit PathField(QWidget *parent = nullptr);

    void setPath(const QString &path);
    // The text as it is shown now.
    QString shownText() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect textArea() const;
};

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
    PathField *linkText = nullptr;
    QLabel *clientText = nullptr;

private:
    QLabel *m_introText = nullptr;
    QLabel *m_orText = nullptr;
};

} // namespace tqx
