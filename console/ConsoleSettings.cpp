#include "console/ConsoleSettings.h"

#include <QFileInfo>
#include <QSettings>

#include <cmath>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace tqx {

namespace {

const QString comPortKey = QStringLiteral("com_port");
const QString hcVersionKey = QStringLiteral("hc_version");
const QString leftKey = QStringLiteral("left_position");
const QString topKey = QStringLiteral("top_position");
const QString portNameKey = QStringLiteral("port_name");
const QString tcpAddressKey = QStringLiteral("tcp_address");
const QString tcpPortKey = QStringLiteral("tcp_port");
const QString profileKey = QStringLiteral("profile");
const QString fullVersionKey = QStringLiteral("full_version");
const QString versionFormatKey = QStringLiteral("version_format");
const QString modelKey = QStringLiteral("model");
const QString alignedKey = QStringLiteral("aligned");
const QString gpsKey = QStringLiteral("gps_present");
const QString clockKey = QStringLiteral("clock_present");
const QString autoResetKey = QStringLiteral("auto_reset_ms");
const QString siteLatitudeKey = QStringLiteral("site_latitude");
const QString siteLongitudeKey = QStringLiteral("site_longitude");
const QString slewRateKey = QStringLiteral("slew_rate");
const QString periodicErrorKey = QStringLiteral("periodic_error");
const QString wormPeriodKey = QStringLiteral("worm_period");
const QString switchPositionKey = QStringLiteral("switch_position");
const QString coordinatesKey = QStringLiteral("coordinates");
const QString tcpTakeoverKey = QStringLiteral("tcp_takeover_after_s");

// Which version of a file is on disk: a write that went through, by replacing the file or
// rewriting it in place, gives another stamp.
struct FileStamp
{
    bool exists = false;
    long long inode = 0;
    long long size = 0;
    long long modifiedNs = 0;
    long long changedNs = 0;

    static FileStamp of(const QString &path)
    {
        FileStamp stamp;
#ifdef Q_OS_UNIX
        struct stat status
        {
        };
        if (::stat(QFile::encodeName(path).constData(), &status) != 0)
            return stamp;
        stamp.exists = true;
        stamp.inode = static_cast<long long>(status.st_ino);
        stamp.size = static_cast<long long>(status.st_size);
        stamp.modifiedNs = status.st_mtim.tv_sec * 1'000'000'000LL + status.st_mtim.tv_nsec;
        stamp.changedNs = status.st_ctim.tv_sec * 1'000'000'000LL + status.st_ctim.tv_nsec;
#else
        const QFileInfo info(path);
        stamp.exists = info.exists();
        stamp.size = info.size();
        stamp.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1'000'000LL;
        stamp.changedNs = info.metadataChangeTime().toMSecsSinceEpoch() * 1'000'000LL;
#endif
        return stamp;
    }

    bool operator==(const FileStamp &) const = default;
};

// A stored number within its bounds, or the fallback.
double numberFrom(const QVariant &stored, double lowest, double highest, double fallback)
{
    bool ok = false;
    const double value = stored.toString().trimmed().toDouble(&ok);
    return ok && value >= lowest && value <= highest ? value : fallback;
}

// A stored number for one of the mount's numbers, taken when the settings accept it there: the
// settings know the bounds, some of which leave their end out. The field keeps its value
// otherwise.
void mountNumberFrom(const QVariant &stored, HandControlSettings &settings,
                     double HandControlSettings::*field)
{
    bool ok = false;
    const double value = stored.toString().trimmed().toDouble(&ok);
    if (!ok)
        return;
    HandControlSettings candidate = settings;
    candidate.*field = value;
    if (candidate.mountError().empty())
        settings = candidate;
}

CoordinateEpoch epochFrom(const QVariant &stored)
{
    const QString text = stored.toString().trimmed();
    if (text == QLatin1String("date"))
        return CoordinateEpoch::OfDate;
    if (text == QLatin1String("j2000"))
        return CoordinateEpoch::J2000;
    return CoordinateEpoch::Automatic;
}

QString epochText(CoordinateEpoch epoch)
{
    switch (epoch) {
    case CoordinateEpoch::OfDate:
        return QStringLiteral("date");
    case CoordinateEpoch::J2000:
        return QStringLiteral("j2000");
    case CoordinateEpoch::Automatic:
        break;
    }
    return QStringLiteral("auto");
}

bool flagFrom(const QVariant &stored, bool fallback)
{
    const QString text = stored.toString().trimmed();
    if (text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("0"))
        return false;
    return fallback;
}

// Positions far beyond any desktop are not a window position but a damaged value.
constexpr double largestPosition = 1.0e7;

std::unique_ptr<QSettings> openStore()
{
#ifdef Q_OS_WIN
    auto store = std::make_unique<QSettings>(
            QStringLiteral(
                    "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\TQX_Emulator"),
            QSettings::NativeFormat);
#else
    auto store = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                             QStringLiteral("TQX_Emulator"),
                                             QStringLiteral("TQX_Emulator"));
#endif
    store->beginGroup(QStringLiteral("Defaults"));
    return store;
}

QString positionText(double twips)
{
    return QString::number(static_cast<long long>(std::lround(twips)));
}

} // namespace

ConsoleSettings::ConsoleSettings()
    : m_store(openStore())
{
}

ConsoleSettings::~ConsoleSettings() = default;

ConsoleSettingsValues ConsoleSettings::load() const
{
    ConsoleSettingsValues values;

    bool ok = false;
    const int comPort = m_store->value(comPortKey).toString().trimmed().toShort(&ok);
    if (ok && comPort >= -1 && comPort <= 7)
        values.comPort = comPort;

    values.hcVersion = m_store->value(hcVersionKey, values.hcVersion).toString();
    values.leftTwips = numberFrom(m_store->value(leftKey), -largestPosition, largestPosition,
                                  values.leftTwips);
    values.topTwips = numberFrom(m_store->value(topKey), -largestPosition, largestPosition,
                                 values.topTwips);
    values.portName = m_store->value(portNameKey).toString();
    values.tcpAddress = m_store->value(tcpAddressKey, values.tcpAddress).toString().trimmed();
    const int tcpPort = m_store->value(tcpPortKey).toString().trimmed().toInt(&ok);
    if (ok && tcpPort >= 1 && tcpPort <= 65535)
        values.tcpPort = tcpPort;

    if (m_store->value(profileKey).toString().trimmed() == QLatin1String("full"))
        values.profile = QStringLiteral("full");
    const QString fullVersion = m_store->value(fullVersionKey).toString().trimmed();
    if (HandControlSettings::versionError(fullVersion.toStdString()).empty())
        values.fullVersion = fullVersion;
    HandControlSettings &handControl = values.mount.handControl;
    if (m_store->value(versionFormatKey).toString().trimmed() == QLatin1String("hex"))
        handControl.versionFormat = VersionFormat::Hex;
    const int model = m_store->value(modelKey).toString().trimmed().toInt(&ok);
    if (ok && model >= 0 && model <= 255)
        handControl.model = static_cast<std::uint8_t>(model);
    handControl.aligned = flagFrom(m_store->value(alignedKey), handControl.aligned);
    handControl.gpsPresent = flagFrom(m_store->value(gpsKey), handControl.gpsPresent);
    handControl.clockPresent = flagFrom(m_store->value(clockKey), handControl.clockPresent);
    handControl.siteLatitude
            = numberFrom(m_store->value(siteLatitudeKey), -90, 90, handControl.siteLatitude);
    handControl.siteLongitude
            = numberFrom(m_store->value(siteLongitudeKey), -180, 180, handControl.siteLongitude);
    handControl.slewRate = numberFrom(m_store->value(slewRateKey), HandControlSettings::minSlewRate,
                                      HandControlSettings::maxSlewRate, handControl.slewRate);
    mountNumberFrom(m_store->value(periodicErrorKey), handControl,
                    &HandControlSettings::periodicError);
    mountNumberFrom(m_store->value(wormPeriodKey), handControl, &HandControlSettings::wormPeriod);
    mountNumberFrom(m_store->value(switchPositionKey), handControl,
                    &HandControlSettings::switchPosition);
    handControl.epoch = epochFrom(m_store->value(coordinatesKey));
    const int autoReset = m_store->value(autoResetKey).toString().trimmed().toInt(&ok);
    if (ok && autoReset >= 0 && autoReset <= 600000)
        values.mount.autoResetMs = autoReset;
    const int takeover = m_store->value(tcpTakeoverKey).toString().trimmed().toInt(&ok);
    if (ok && takeover >= 0 && takeover <= TcpTransport::maxTakeoverAfterMs / 1000)
        values.tcpTakeoverSeconds = takeover;
    return values;
}

bool ConsoleSettings::save(const ConsoleSettingsValues &values, QString *errorText)
{
    m_store->setValue(comPortKey, QString::number(values.comPort));
    m_store->setValue(hcVersionKey, values.hcVersion);
    m_store->setValue(leftKey, positionText(values.leftTwips));
    m_store->setValue(topKey, positionText(values.topTwips));
    m_store->setValue(portNameKey, values.portName);
    m_store->setValue(tcpAddressKey, values.tcpAddress);
    m_store->setValue(tcpPortKey, QString::number(values.tcpPort));
    const HandControlSettings &handControl = values.mount.handControl;
    m_store->setValue(profileKey, values.profile);
    m_store->setValue(fullVersionKey, values.fullVersion);
    m_store->setValue(versionFormatKey,
                      handControl.versionFormat == VersionFormat::Hex ? QStringLiteral("hex")
                                                                      : QStringLiteral("binary"));
    m_store->setValue(modelKey,
                      handControl.model ? QString::number(*handControl.model)
                                        : QStringLiteral("-1"));
    m_store->setValue(alignedKey, QString::number(handControl.aligned ? 1 : 0));
    m_store->setValue(gpsKey, QString::number(handControl.gpsPresent ? 1 : 0));
    m_store->setValue(clockKey, QString::number(handControl.clockPresent ? 1 : 0));
    m_store->setValue(siteLatitudeKey, QString::number(handControl.siteLatitude, 'g', 10));
    m_store->setValue(siteLongitudeKey, QString::number(handControl.siteLongitude, 'g', 10));
    m_store->setValue(slewRateKey, QString::number(handControl.slewRate, 'g', 10));
    m_store->setValue(periodicErrorKey, QString::number(handControl.periodicError, 'g', 10));
    m_store->setValue(wormPeriodKey, QString::number(handControl.wormPeriod, 'g', 10));
    m_store->setValue(switchPositionKey, QString::number(handControl.switchPosition, 'g', 10));
    m_store->setValue(coordinatesKey, epochText(handControl.epoch));
    m_store->setValue(autoResetKey, QString::number(values.mount.autoResetMs));
    m_store->setValue(tcpTakeoverKey, QString::number(values.tcpTakeoverSeconds));
    const FileStamp before = FileStamp::of(location());
    m_store->sync();
    // The store keeps the first error it met: a line it could not read when it loaded the file
    // is one, though the file it writes now is whole. Only a file left as it was is a failure.
    const QSettings::Status status = m_store->status();
    if (status == QSettings::NoError
        || (status == QSettings::FormatError && !(FileStamp::of(location()) == before)))
        return true;
    if (errorText)
        *errorText = QStringLiteral("The settings could not be saved to %1: the file or its folder "
                                    "cannot be written. The port, the 'V' command response and "
                                    "the window position will not be remembered.")
                             .arg(location());
    return false;
}

QString ConsoleSettings::location() const { return m_store->fileName(); }

} // namespace tqx
