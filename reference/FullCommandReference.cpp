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

// What the data bytes d1 d2 d3 carry.
QString argumentText(BusArgument argument)
{
    switch (argument) {
    case BusArgument::None:
        break;
    case BusArgument::Position24:
        return QStringLiteral("position, 24-bit fraction of a turn");
    case BusArgument::VariableRate:
        return QStringLiteral("rate, 16-bit, 1/4 arcsec/s");
    case BusArgument::FixedRate:
        return QStringLiteral("button rate 0 (stop) to 9");
    case BusArgument::GuideRate:
        return QStringLiteral("0 to 255 for 0 to 100 % of sidereal");
    case BusArgument::GuidePulse:
        return QStringLiteral("signed % of sidereal, length in 1/100 s");
    case BusArgument::OnOff:
        return QStringLiteral("1 on, 0 off");
    case BusArgument::PecAddress:
        return QStringLiteral("address: 0x3F bin count, 0x40 + i bin i");
    case BusArgument::PecAddressValue:
        return QStringLiteral("address as above, signed value");
    case BusArgument::MonthDay:
        return QStringLiteral("month, day");
    case BusArgument::Year:
        return QStringLiteral("year, 16-bit");
    case BusArgument::TimeOfDay:
        return QStringLiteral("hour, minute, second");
    }
    return QStringLiteral("&mdash;");
}

// What the reply's data bytes carry.
QString answerText(BusAnswer answer)
{
    switch (answer) {
    case BusAnswer::None:
        break;
    case BusAnswer::Position24:
        return QStringLiteral("position, 24-bit");
    case BusAnswer::DoneFlag:
        return QStringLiteral("0xFF done, 0x00 not yet");
    case BusAnswer::EnabledFlag:
        return QStringLiteral("0xFF yes, 0x00 no");
    case BusAnswer::AtIndexFlag:
        return QStringLiteral("0xFF at the index, 0x00 not");
    case BusAnswer::RecordedFlag:
        return QStringLiteral("non-zero when done");
    case BusAnswer::GuidingFlag:
        return QStringLiteral("non-zero while guiding");
    case BusAnswer::PecBin:
        return QStringLiteral("bin 0 to 87");
    case BusAnswer::PecValue:
        return QStringLiteral("bin count, or a bin's signed value");
    case BusAnswer::LinkedFlag:
        return QStringLiteral("above 0 when linked");
    case BusAnswer::GuideRate:
        return QStringLiteral("0 to 255");
    case BusAnswer::Latitude24:
        return QStringLiteral("latitude, 24-bit, south negative");
    case BusAnswer::Longitude24:
        return QStringLiteral("longitude, 24-bit, west negative");
    case BusAnswer::MonthDay:
        return QStringLiteral("month, day");
    case BusAnswer::Year:
        return QStringLiteral("year, 16-bit");
    case BusAnswer::TimeOfDay:
        return QStringLiteral("hour, minute, second");
    case BusAnswer::Version:
        return QStringLiteral("one byte per number");
    }
    return QStringLiteral("&mdash;");
}

QString busRow(const BusCommandRow &row, bool anyDevice)
{
    return QStringLiteral("<tr><td>%1</td><td>%2</td><td align=\"right\">%3</td>"
                          "<td align=\"right\">%4</td><td>%5</td><td>%6</td><td>%7</td></tr>")
            .arg(deviceName(row.device),
                 anyDevice ? QStringLiteral("any") : deviceAddresses(row.device))
            .arg(row.command)
            .arg(row.lengthByte)
            .arg(escaped(row.meaning), argumentText(row.argument), answerText(row.answer));
}

} // namespace

QString fullCommandReferenceHtml()
{
    QString html = QStringLiteral(
            "<h2>Full hand control</h2>"
            "<p>With <i>Full hand control</i> chosen in the Mount menu (or <tt>--profile "
            "full</tt>) "
            "the emulator answers these commands, each of a fixed length. Every complete command "
            "in the buffer is answered in order, and what makes no command is discarded. The "
            "last column says what the basic command table does with the same letter.</p>"
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
            "<tr><th>Device</th><th>Address</th><th>Id</th><th>Length</th>"
            "<th>What it does</th><th>Data bytes</th><th>Reply</th></tr>");
    for (const BusCommandRow &row : busCommandRows())
        html += busRow(row, false);
    html += busRow(busVersionRow(), true);
    html += QStringLiteral("</table>");
    return html;
}

} // namespace tqx
