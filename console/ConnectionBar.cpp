#include "console/ConnectionBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTime>

#include <algorithm>

namespace tqx {

namespace {
// What QLineEdit keeps free on either side of its text.
constexpr int lineEditTextMargin = 2;
QString connectedText() { return QStringLiteral("Client connected"); }
QString notConnectedText() { return QStringLiteral("No client"); }
} // namespace

PathField::PathField(QWidget *parent)
    : QLineEdit(parent)
{
    setReadOnly(true);
    setFrame(false);
}

void PathField::setPath(const QString &path)
{
    setText(path);
    setCursorPosition(0);
    updateGeometry();
    update();
}

QRect PathField::textArea() const
{
    return contentsRect()
            .marginsRemoved(textMargins())
            .adjusted(lineEditTextMargin, 0, -lineEditTextMargin, 0);
}

QString PathField::shownText() const
{
    if (hasFocus())
        return text();
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, textArea().width());
}

QSize PathField::sizeHint() const
{
    QSize hint = QLineEdit::sizeHint();
    const QMargins margins = textMargins();
    hint.setWidth(fontMetrics().horizontalAdvance(text()) + 2 * lineEditTextMargin + margins.left()
                  + margins.right() + 1);
    return hint;
}

// Focused, the field is an ordinary line edit to select from and scroll through.
void PathField::paintEvent(QPaintEvent *event)
{
    const QString shown = shownText();
    if (shown == text()) {
        QLineEdit::paintEvent(event);
        return;
    }
    QPainter painter(this);
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(textArea(), Qt::AlignLeft | Qt::AlignVCenter, shown);
}

ConnectionBar::ConnectionBar(QWidget *parent)
    : QWidget(parent)
    , deviceText(new QLineEdit(this))
    , linkText(new PathField(this))
    , clientText(new QLabel(this))
    , m_introText(new QLabel(this))
    , m_orText(new QLabel(QStringLiteral("or"), this))
{
    for (QLineEdit *path : {deviceText, static_cast<QLineEdit *>(linkText)}) {
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
    // As wide as the longer of its texts, so that a client's coming and going never takes room
    // from the paths.
    int widest = 0;
    for (const QString &text : {connectedText(), notConnectedText()}) {
        clientText->setText(text);
        widest = std::max(widest, clientText->sizeHint().width());
    }
    clientText->setMinimumWidth(widest);
    setClientConnected(false);
}

void ConnectionBar::setClientConnected(bool connected)
{
    clientText->setText(connected ? connectedText() : notConnectedText());
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
    linkText->setPath(link);
    linkText->setToolTip(
            QStringLiteral("%1\nOpen this path as the serial port in client software").arg(link));
    deviceText->setFixedWidth(deviceText->fontMetrics().horizontalAdvance(device) + 12);
    // Long paths are read from their start.
    deviceText->setCursorPosition(0);
}

} // namespace tqx
