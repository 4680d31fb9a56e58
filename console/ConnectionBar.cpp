#include "console/ConnectionBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTime>

namespace tqx {

ConnectionBar::ConnectionBar(QWidget *parent)
    : QWidget(parent)
    , deviceText(new QLineEdit(this))
    , linkText(new QLineEdit(this))
    , clientText(new QLabel(this))
    , m_introText(new QLabel(this))
    , m_orText(new QLabel(QStringLiteral("or"), this))
{
    for (QLineEdit *path : {deviceText, linkText}) {
        path->setReadOnly(true);
        path->setFrame(false);
        path->setToolTip(QStringLiteral("Open this path as the serial port in client software"));
    }
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_introText);
    row->addWidget(deviceText);
    row->addWidget(m_orText);
    row->addWidget(linkText, 1);
    row->addWidget(clientText);
    setClientConnected(false);
}

void ConnectionBar::setClientConnected(bool connected)
{
    clientText->setText(connected ? QStringLiteral("Client connected")
                                  : QStringLiteral("No client"));
}

void ConnectionBar::setClientNotice(const QString &text)
{
    clientText->setToolTip(QStringLiteral("%1: %2").arg(
            QTime::currentTime().toString(QStringLiteral("HH:mm:ss")), text));
}

void ConnectionBar::setNetworkAddress(const QString &description)
{
    m_introText->setText(QStringLiteral("Clients connect to:"));
    deviceText->setToolTip(QStringLiteral("Give this address and port to client software"));
    deviceText->setText(description);
    deviceText->setMinimumWidth(0);
    deviceText->setMaximumWidth(QWIDGETSIZE_MAX);
    deviceText->setCursorPosition(0);
    m_orText->hide();
    linkText->hide();
}

void ConnectionBar::setPaths(const QString &device, const QString &link)
{
    m_introText->setText(QStringLiteral("Clients open:"));
    deviceText->setToolTip(QStringLiteral("Open this path as the serial port in client software"));
    m_orText->show();
    linkText->show();
    deviceText->setText(device);
    linkText->setText(link);
    deviceText->setFixedWidth(deviceText->fontMetrics().horizontalAdvance(device) + 12);
    // Long paths are read from their start.
    deviceText->setCursorPosition(0);
    linkText->setCursorPosition(0);
}

} // namespace tqx
