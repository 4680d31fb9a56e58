#include "console/VirtualPortPaths.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

namespace tqx {

VirtualPortPaths::VirtualPortPaths(QWidget *parent)
    : QWidget(parent)
    , deviceText(new QLineEdit(this))
    , linkText(new QLineEdit(this))
    , clientText(new QLabel(this))
{
    for (QLineEdit *path : {deviceText, linkText}) {
        path->setReadOnly(true);
        path->setFrame(false);
        path->setToolTip(QStringLiteral("Open this path as the serial port in client software"));
    }
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(QStringLiteral("Clients open:"), this));
    row->addWidget(deviceText);
    row->addWidget(new QLabel(QStringLiteral("or"), this));
    row->addWidget(linkText, 1);
    row->addWidget(clientText);
    setClientConnected(false);
}

void VirtualPortPaths::setClientConnected(bool connected)
{
    clientText->setText(connected ? QStringLiteral("Client connected")
                                  : QStringLiteral("No client"));
}

void VirtualPortPaths::setPaths(const QString &device, const QString &link)
{
    deviceText->setText(device);
    linkText->setText(link);
    deviceText->setFixedWidth(deviceText->fontMetrics().horizontalAdvance(device) + 12);
    // Long paths are read from their start.
    deviceText->setCursorPosition(0);
    linkText->setCursorPosition(0);
}

} // namespace tqx
