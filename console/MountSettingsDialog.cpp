#include "console/MountSettingsDialog.h"

#include "settings/SettingsSchema.h"
#include "widgets/DialogSink.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace tqx {

namespace {
DialogSink<MountSettings> &sink()
{
    static DialogSink<MountSettings> instance;
    return instance;
}

// A box takes what the setting under `key` takes; a bound the setting leaves out is one step
// short of it in the box (a full turn is where the turn starts again).
void takeBounds(QDoubleSpinBox *box, const QString &key)
{
    const SettingBounds bounds = *settingWithKey(key)->bounds;
    const double step = bounds.highestIncluded ? 0 : std::pow(10.0, -box->decimals());
    box->setRange(bounds.lowest, bounds.highest - step);
}

void takeBounds(QSpinBox *box, const QString &key)
{
    const SettingBounds bounds = *settingWithKey(key)->bounds;
    box->setRange(int(bounds.lowest), int(bounds.highest) - (bounds.highestIncluded ? 0 : 1));
}
} // namespace

MountSettingsDialog::MountSettingsDialog(const MountSettings &current, QWidget *parent)
    : QDialog(parent)
    , versionFormatBox(new QComboBox(this))
    , modelBox(new QSpinBox(this))
    , modelNameLabel(new QLabel(this))
    , alignedBox(new QCheckBox(QStringLiteral("Aligned"), this))
    , gpsBox(new QCheckBox(QStringLiteral("GPS accessory present"), this))
    , clockBox(new QCheckBox(QStringLiteral("Real-time clock present"), this))
    , latitudeBox(new QDoubleSpinBox(this))
    , longitudeBox(new QDoubleSpinBox(this))
    , slewRateBox(new QDoubleSpinBox(this))
    , periodicErrorBox(new QDoubleSpinBox(this))
    , wormPeriodBox(new QDoubleSpinBox(this))
    , switchPositionBox(new QDoubleSpinBox(this))
    , coordinatesBox(new QComboBox(this))
    , autoResetBox(new QSpinBox(this))
    , m_current(current)
{
    setWindowTitle(QStringLiteral("Mount settings"));
    versionFormatBox->addItem(QStringLiteral("Binary bytes (4.21 -> 04 15 #)"));
    versionFormatBox->addItem(QStringLiteral("Six hex digits (4.39.07 -> 042707#)"));
    versionFormatBox->setCurrentIndex(current.handControl.versionFormat == VersionFormat::Hex ? 1
                                                                                              : 0);
    takeBounds(modelBox, QStringLiteral("model"));
    modelBox->setSpecialValueText(QStringLiteral("Equatorial (default)"));
    modelBox->setValue(current.handControl.model ? *current.handControl.model : -1);
    alignedBox->setChecked(current.handControl.aligned);
    gpsBox->setChecked(current.handControl.gpsPresent);
    clockBox->setChecked(current.handControl.clockPresent);
    // Four decimals of a degree are about ten metres on the ground.
    latitudeBox->setDecimals(4);
    takeBounds(latitudeBox, QStringLiteral("site_latitude"));
    latitudeBox->setSuffix(QStringLiteral("\u00b0 (north positive)"));
    latitudeBox->setValue(current.handControl.siteLatitude);
    longitudeBox->setDecimals(4);
    takeBounds(longitudeBox, QStringLiteral("site_longitude"));
    longitudeBox->setSuffix(QStringLiteral("\u00b0 (east positive)"));
    longitudeBox->setValue(current.handControl.siteLongitude);
    slewRateBox->setDecimals(1);
    takeBounds(slewRateBox, QStringLiteral("slew_rate"));
    slewRateBox->setSingleStep(0.5);
    slewRateBox->setSuffix(QStringLiteral("\u00b0/s"));
    slewRateBox->setValue(current.handControl.slewRate);
    periodicErrorBox->setDecimals(1);
    takeBounds(periodicErrorBox, QStringLiteral("periodic_error"));
    periodicErrorBox->setSuffix(QStringLiteral(" arcsec"));
    periodicErrorBox->setSpecialValueText(QStringLiteral("None (a perfect drive)"));
    periodicErrorBox->setValue(current.handControl.periodicError);
    wormPeriodBox->setDecimals(1);
    takeBounds(wormPeriodBox, QStringLiteral("worm_period"));
    wormPeriodBox->setSuffix(QStringLiteral(" s"));
    wormPeriodBox->setValue(current.handControl.wormPeriod);
    switchPositionBox->setDecimals(2);
    takeBounds(switchPositionBox, QStringLiteral("switch_position"));
    switchPositionBox->setWrapping(true);
    switchPositionBox->setSuffix(QStringLiteral("\u00b0"));
    switchPositionBox->setValue(current.handControl.switchPosition);
    coordinatesBox->addItem(QStringLiteral("Automatic: of the date for binary, J2000 for hex"));
    coordinatesBox->addItem(QStringLiteral("Of the date (JNow)"));
    coordinatesBox->addItem(QStringLiteral("J2000"));
    coordinatesBox->setCurrentIndex(static_cast<int>(current.handControl.epoch));
    takeBounds(autoResetBox, QStringLiteral("auto_reset_ms"));
    autoResetBox->setSingleStep(100);
    autoResetBox->setSuffix(QStringLiteral(" ms"));
    autoResetBox->setSpecialValueText(QStringLiteral("Never (Reset button)"));
    autoResetBox->setValue(current.autoResetMs);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("'V' sends the version as:"), versionFormatBox);
    auto *model = new QHBoxLayout;
    model->addWidget(modelBox);
    model->addWidget(modelNameLabel, 1);
    form->addRow(QStringLiteral("Mount model ('m'):"), model);
    form->addRow(QString(), alignedBox);
    form->addRow(QString(), gpsBox);
    form->addRow(QString(), clockBox);
    form->addRow(QStringLiteral("Site latitude:"), latitudeBox);
    form->addRow(QStringLiteral("Site longitude:"), longitudeBox);
    form->addRow(QStringLiteral("Goto slew rate:"), slewRateBox);
    form->addRow(QStringLiteral("Periodic error of the drive:"), periodicErrorBox);
    form->addRow(QStringLiteral("Worm period:"), wormPeriodBox);
    form->addRow(QStringLiteral("Index switch position:"), switchPositionBox);
    form->addRow(QStringLiteral("Right ascension/declination:"), coordinatesBox);
    form->addRow(QStringLiteral("Reset a blocked buffer after:"), autoResetBox);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    // The same number names different mounts in the two version formats' numberings.
    connect(modelBox, &QSpinBox::valueChanged, this, &MountSettingsDialog::showModelName);
    connect(versionFormatBox, &QComboBox::currentIndexChanged, this,
            &MountSettingsDialog::showModelName);
    showModelName();
}

void MountSettingsDialog::showModelName()
{
    // Unlisted numbers read as the version format's clients read them.
    const std::string_view name = settings().handControl.mountModel().name;
    modelNameLabel->setText(QString::fromUtf8(name.data(), qsizetype(name.size())));
}

MountSettings MountSettingsDialog::settings() const
{
    MountSettings chosen = m_current;
    HandControlSettings &handControl = chosen.handControl;
    handControl.versionFormat
            = versionFormatBox->currentIndex() == 1 ? VersionFormat::Hex : VersionFormat::Binary;
    if (modelBox->value() < 0)
        handControl.model.reset();
    else
        handControl.model = static_cast<std::uint8_t>(modelBox->value());
    handControl.aligned = alignedBox->isChecked();
    handControl.gpsPresent = gpsBox->isChecked();
    handControl.clockPresent = clockBox->isChecked();
    handControl.siteLatitude = latitudeBox->value();
    handControl.siteLongitude = longitudeBox->value();
    handControl.slewRate = slewRateBox->value();
    handControl.periodicError = periodicErrorBox->value();
    handControl.wormPeriod = wormPeriodBox->value();
    handControl.switchPosition = switchPositionBox->value();
    handControl.epoch = static_cast<CoordinateEpoch>(coordinatesBox->currentIndex());
    chosen.autoResetMs = autoResetBox->value();
    return chosen;
}

std::optional<MountSettings> MountSettingsDialog::ask(QWidget *parent, const MountSettings &current)
{
    return sink().ask<MountSettingsDialog>(parent, current, &MountSettingsDialog::settings);
}

MountSettingsDialog::Sink MountSettingsDialog::setSink(Sink replacement)
{
    return sink().replace(std::move(replacement));
}

} // namespace tqx
