#include "console/TcpPortDialog.h"

#include "widgets/DialogSink.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tqx {

namespace {
DialogSink<TcpEndpoint> &sink()
{
    static DialogSink<TcpEndpoint> instance;
    return instance;
}
} // namespace

TcpPortDialog::TcpPortDialog(const TcpEndpoint &current, QWidget *parent)
    : QDialog(parent)
    , addressText(new QLineEdit(current.address, this))
    , portBox(new QSpinBox(this))
    , warningText(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Network (TCP)"));
    portBox->setRange(1, 65535);
    portBox->setValue(current.port);
    addressText->setToolTip(QStringLiteral("127.0.0.1 accepts clients on this computer only; "
                                           "0.0.0.0 accepts them from every network"));
    warningText->setWordWrap(true);
    QPalette palette = warningText->palette();
    palette.setColor(QPalette::WindowText, Qt::darkRed);
    warningText->setPalette(palette);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Address:"), addressText);
    form->addRow(QStringLiteral("&Port:"), portBox);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(warningText);
    layout->addWidget(buttons);

    connect(addressText, &QLineEdit::textChanged, this, [this, buttons] {
        updateWarning();
        buttons->button(QDialogButtonBox::Ok)
                ->setEnabled(!QHostAddress(addressText->text().trimmed()).isNull());
    });
    updateWarning();
}

TcpEndpoint TcpPortDialog::endpoint() const
{
    return {addressText->text().trimmed(), static_cast<quint16>(portBox->value())};
}

void TcpPortDialog::updateWarning()
{
    const QHostAddress address(addressText->text().trimmed());
    if (address.isNull())
        warningText->setText(QStringLiteral("Not an IP address."));
    else if (address.isLoopback())
        warningText->clear();
    else
        warningText->setText(QStringLiteral(
                "Clients on other computers can connect to this address. The hand control's "
                "protocol has no password: anyone who reaches it can control the emulator."));
    warningText->setVisible(!warningText->text().isEmpty());
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
