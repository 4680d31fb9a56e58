#include "console/TcpPortDialog.h"

#include "widgets/DialogSink.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkInterface>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tqx {

namespace {
DialogSink<TcpEndpoint> &sink()
{
    static DialogSink<TcpEndpoint> instance;
    return instance;
}

// Letters, digits and hyphens between dots, with a letter somewhere: what may be looked up.
bool mayBeHostName(const QString &text)
{
    static const QRegularExpression name(
            QStringLiteral("^(?=.*[A-Za-z])[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?"
                           "(?:\\.[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?)*\\.?$"));
    return name.match(text).hasMatch();
}

// A listener can only listen on an address of this computer.
bool isOwnAddress(const QHostAddress &address)
{
    return address.isLoopback() || QNetworkInterface::allAddresses().contains(address);
}

// The lines are this many average characters wide, so that the warning wraps the same way
// whatever the address.
constexpr int textColumns = 46;
} // namespace

TcpPortDialog::TcpPortDialog(const TcpEndpoint &current, QWidget *parent)
    : QDialog(parent)
    , addressText(new QLineEdit(current.address, this))
    , portBox(new QSpinBox(this))
    , addressNote(new QLabel(this))
    , warningText(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Network (TCP)"));
    portBox->setRange(1, 65535);
    portBox->setValue(current.port);
    addressText->setToolTip(QStringLiteral("127.0.0.1 or localhost accepts clients on this "
                                           "computer only; 0.0.0.0 accepts them from every "
                                           "network; a host name of this computer listens on "
                                           "the address it stands for"));
    const int lineWidth = fontMetrics().averageCharWidth() * textColumns;
    // As wide with a note or a warning as without, so that the dialog keeps its width.
    addressText->setMinimumWidth(lineWidth);
    for (QLabel *label : {addressNote, warningText}) {
        label->setWordWrap(true);
        label->setMinimumWidth(lineWidth);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    QPalette palette = warningText->palette();
    palette.setColor(QPalette::WindowText, Qt::darkRed);
    warningText->setPalette(palette);

    auto *form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(QStringLiteral("&Address:"), addressText);
    form->addRow(QString(), addressNote);
    form->addRow(QStringLiteral("&Port:"), portBox);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    okButton = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(warningText);
    layout->addWidget(buttons);
    // The dialog takes the size its contents ask for, and grows and shrinks as the warning
    // comes and goes, so that no line of it is ever cut.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(addressText, &QLineEdit::textChanged, this, &TcpPortDialog::readAddress);
    readAddress();
}

TcpEndpoint TcpPortDialog::endpoint() const
{
    return {m_address ? m_address->toString() : addressText->text().trimmed(),
            static_cast<quint16>(portBox->value())};
}

bool TcpPortDialog::isAcceptable() const { return m_address.has_value(); }

void TcpPortDialog::readAddress()
{
    if (m_lookup >= 0)
        QHostInfo::abortHostLookup(m_lookup);
    m_lookup = -1;
    const QString text = addressText->text().trimmed();
    QString reason;
    const std::optional<QHostAddress> address = PortChoice::readAddress(text, &reason);
    if (address) {
        const bool named = !QHostAddress(text).isEqual(*address);
        showAddress(address,
                    named ? QStringLiteral("%1 is %2.").arg(text, address->toString()) : QString(),
                    false);
        return;
    }
    if (!mayBeHostName(text)) {
        showAddress(std::nullopt, reason + QLatin1Char('.'), true);
        return;
    }
    showAddress(std::nullopt, QStringLiteral("Looking up %1...").arg(text), false);
    m_lookedUpName = text;
    m_lookup = QHostInfo::lookupHost(text, this, &TcpPortDialog::takeLookup);
}

void TcpPortDialog::takeLookup(const QHostInfo &found)
{
    if (found.lookupId() != m_lookup)
        return;
    m_lookup = -1;
    if (found.error() != QHostInfo::NoError) {
        showAddress(std::nullopt,
                    QStringLiteral("%1: %2.").arg(m_lookedUpName, found.errorString()), true);
        return;
    }
    for (const QHostAddress &address : found.addresses()) {
        if (isOwnAddress(address)) {
            showAddress(address,
                        QStringLiteral("%1 is %2.").arg(m_lookedUpName, address.toString()), false);
            return;
        }
    }
    const QString first
            = found.addresses().isEmpty() ? QString() : found.addresses().constFirst().toString();
    showAddress(std::nullopt,
                QStringLiteral("%1 is %2, not an address of this computer: the listener can "
                               "only listen on one of its own.")
                        .arg(m_lookedUpName, first),
                true);
}

void TcpPortDialog::showAddress(const std::optional<QHostAddress> &address, const QString &note,
                                bool refused)
{
    m_address = address;
    addressNote->setText(note);
    addressNote->setVisible(!note.isEmpty());
    QPalette palette = addressNote->palette();
    palette.setColor(QPalette::WindowText,
                     refused ? QColor(Qt::darkRed) : this->palette().color(QPalette::WindowText));
    addressNote->setPalette(palette);
    if (address && !address->isLoopback())
        warningText->setText(QStringLiteral(
                "Clients on other computers can connect to this address. The hand control's "
                "protocol has no password: anyone who reaches it can control the emulator."));
    else
        warningText->clear();
    warningText->setVisible(!warningText->text().isEmpty());
    okButton->setEnabled(address.has_value());
}

std::optional<TcpEndpoint> TcpPortDialog::ask(QWidget *parent, const TcpEndpoint &current)
{
    return sink().ask<TcpPortDialog>(parent, current, &TcpPortDialog::endpoint);
}

TcpPortDialog::Sink TcpPortDialog::setSink(Sink replacement)
{
    return sink().replace(std::move(replacement));
}

} // namespace tqx
