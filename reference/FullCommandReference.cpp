#include "reference/FullCommandReference.h"

#include "emulation/BusCommandTable.h"
#include "emulation/CommandTable.h"
#include "emulation/FullCommandTable.h"

#include <QStringList>

namespace tqx {

namespace {

QString escaped(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size())).toHtmlEscaped();
}

QString letterCell(char letter)
{
    return QStringLiteral("<td><b><tt>%1</tt></b></td>")
            .arg(QString(QLatin1Char(letter)).toHtmlEscaped());
}

// What the basic table does with a letter of the full profile.
QString basicTableCell(char letter)
{
    for (const CommandRow &row : commandTable()) {
        if (row.letter != letter)
            continue;
        if (row.action == CommandAction::FixedReply)
            return QStringLiteral("answers <tt>%1</tt>").arg(escaped(row.fixedReply));
        return QStringLiteral("yes");
    }
    return QStringLiteral("&mdash;");
}

QString deviceName(BusDeviceKind kind)
{
    switch (kind) {
    case BusDeviceKind::Motor:
        return QStringLiteral("Motor");
    case BusDeviceKind::Focuser:
        return QStringLiteral("Focuser");
    case BusDeviceKind::Gps:
        return QStringLiteral("GPS");
    case BusDeviceKind::Clock:
        return QStringLiteral("Clock");
    case BusDeviceKind::Unknown:
        break;
    }
    return QStringLiteral("Any device");
}

// The bus addresses of a kind of device, as the pass-through reads them.
QString deviceAddresses(BusDeviceKind kind)
{
    QStringList addresses;
    for (int address = 0; address < 256; ++address) {
        if (busDeviceKind(std::uint8_t(address)) == kind)
            addresses << QString::number(address);
    }
    return addresses.join(QStringLiteral(", "));
}

QString busRow(const BusCommandRow &row, bool anyDevice)
{
    return QStringLiteral("<tr><td>%1</td><td>%2</td><td align=\"right\">%3</td>"
                          "<td align=\"right\">%4</td><td>%5</td></tr>")
            .arg(deviceName(row.device),
                 anyDevice ? QStringLiteral("any") : deviceAddresses(row.device))
            .arg(row.command)
            .arg(row.lengthByte)
            .arg(escaped(row.meaning));
}

} // namespace

QString fullCommandReferenceHtml()
{
    QString html = QStringLiteral(
            "<h2>Full hand control</h2>"
            "<p>With <i>Full hand control</i> chosen in the Mount menu (or <tt>--profile "
            "full</tt>) "
            "the emulator answers these commands, each of a fixed length. Every complete command "
            "in the buffer is answered in order; a byte that begins none is discarded. The last "
            "column says what the basic command table does with the same letter.</p>"
            "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">"
            "<tr><th>Command</th><th>Bytes</th><th>What it does</th><th>Firmware</th>"
            "<th>Basic table</th></tr>");
    for (const FullCommand &command : fullCommandTable()) {
        html += QStringLiteral("<tr>") + letterCell(command.letter)
                + QStringLiteral(
                          "<td align=\"right\">%1</td><td>%2</td><td>%3</td><td>%4</td></tr>")
                          .arg(command.length)
                          .arg(escaped(command.meaning),
                               command.needsFirmware528 ? QStringLiteral("5.28 and later")
                                                        : QStringLiteral("all"),
                               basicTableCell(command.letter));
    }
    html += QStringLiteral(
            "</table>"
            "<h3>Pass-through to the bus</h3>"
            "<p><tt>P</tt> carries a command to a device on the hand control's internal bus in "
            "8 bytes: <tt>P</tt>, the length byte (the command id and the data bytes it uses), "
            "the device's address, the command id, three data bytes and the number of reply "
            "bytes. The GPS answers when the mount settings give it a GPS accessory "
            "(<tt>--gps</tt>), the clock when they give it a real-time clock "
            "(<tt>--clock</tt>).</p>"
            "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">"
            "<tr><th>Device</th><th>Address</th><th>Command id</th><th>Length byte</th>"
            "<th>What it does</th></tr>");
    for (const BusCommandRow &row : busCommandRows())
        html += busRow(row, false);
    html += busRow(busVersionRow(), true);
    html += QStringLiteral("</table>");
    return html;
}

} // namespace tqx
