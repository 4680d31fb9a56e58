#pragma once

#include "emulation/HandControlSettings.h"
#include "settings/EmulatorSettings.h"

#include "widgets/DialogSink.h"

#include <QDialog>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QSpinBox;

namespace tqx {

// The small dialog behind "Mount" -> "Mount settings...".
class MountSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit MountSettingsDialog(const MountSettings &current, QWidget *parent = nullptr);

    MountSettings settings() const;

    // Asks the user; nothing when cancelled. Tests replace the dialog with a sink.
    static std::optional<MountSettings> ask(QWidget *parent, const MountSettings &current);
    using Sink = DialogSink<MountSettings>::Function;
    static Sink setSink(Sink sink);

    QComboBox *versionFormatBox = nullptr;
    QSpinBox *modelBox = nullptr; // -1: the equatorial model of the version format
    QLabel *modelNameLabel = nullptr; // the chosen model's name in the version format's numbering
    QCheckBox *alignedBox = nullptr;
    QCheckBox *gpsBox = nullptr;
    QCheckBox *clockBox = nullptr;
    QDoubleSpinBox *latitudeBox = nullptr; // degrees, north positive
    QDoubleSpinBox *longitudeBox = nullptr; // degrees, east positive
    QDoubleSpinBox *slewRateBox = nullptr; // degrees per second
    QDoubleSpinBox *periodicErrorBox = nullptr; // seconds of arc, 0 none
    QDoubleSpinBox *wormPeriodBox = nullptr; // seconds
    QDoubleSpinBox *switchPositionBox = nullptr; // degrees of motor position
    QComboBox *coordinatesBox = nullptr; // automatic, of the date, J2000
    QSpinBox *autoResetBox = nullptr; // milliseconds, 0 off

private:
    void showModelName();

    MountSettings m_current;
};

} // namespace tqx
