#pragma once

#include "device/deviceaccess.h"
#include "records/positioninput.h"
#include "records/telemetry.h"

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>

namespace Ui {
class StatusWidget;
}
class QLabel;
class QLineEdit;
class QSlider;

// The status panel at the right of the main window: shows the two devices, their positions,
// the live telemetry source with its flight module and every field of the current telemetry.
// Its lower part lets the user override the telemetry by hand; while the override is on, the
// hand-set record is sent to the control loop in place of the game's. The sliders follow the
// live values, so that the override starts from them rather than from zero.
//
// A device shows its firmware version as three numbers ("1.2.3"), and "Not responding" while
// the loop's reports to it have stalled.
//
// A device not connected shows what the window's presence watch finds: one that is attached
// but that this user may not open shows as "Found, no permission", with the udev advice as tool tip.
//
// Threading: GUI thread. It talks to the control loop only through its signals and slots,
// which travel by queued connections carrying whole records.
class StatusWidget : public QWidget {
    Q_OBJECT

public:
    // "1.2.3": the device's own three bytes of its version value, whose lowest byte is the report id.
    static QString firmwareVersion(uint32_t version);

    explicit StatusWidget(QWidget* parent = nullptr);
    ~StatusWidget() override;

signals:
    void telemetryOverrideEnabled();
    void telemetryOverrideDisabled();
    void telemetryOverrided(Telemetry telemetry);
    void landed(float verticalSpeed, float airspeed);

public slots:
    void changeTelemetry(Telemetry telemetry);
    void changeTelemetrySource(Telemetry::Source source, QString name);
    void endTelemetry();
    void connectJoystick(uint32_t version);
    void disconnectJoystick();
    void connectRudder(uint32_t version);
    void disconnectRudder();
    // A connected device stopped taking reports (false) or takes them again (true).
    void setJoystickResponding(bool responding);
    void setRudderResponding(bool responding);
    void changePosition(PositionInput position);
    // A replay feeds the loop: the source shows as "Replay: NAME" until it ends.
    void showReplay(bool replaying, const QString& name);
    // Whether a device the loop has not connected is attached, and may be opened; a connected
    // device keeps showing its version.
    void showDevicePresence(unsigned short productId, DeviceAccess::Presence presence);

private:
    // The override's check box, its on-ground button and its reset button.
    void setOverrideOn(bool on);
    void toggleOnGround();
    void resetTelemetry();
    // Stores a slider's value in its field of the hand-set record and sends the record.
    void overrideField(float& field, int value);
    // Writes every field of the record into its value field.
    void showTelemetry();

    void showDeviceAbsent(QLineEdit* field, bool& connected);
    void showDeviceState(QLineEdit* field, uint32_t version, bool responding);
    // The sliders stand at the values shown, without sending anything; unless `exact`, a
    // slider whose handle would stay on the same pixel keeps its value.
    void followWithSliders(bool exact);
    // Every telemetry field shows a dash: no record arrives.
    void showNoValues();
    // The telemetry source field: the game, or the replay that stands in for it.
    void showSource();
    // Override fields take typed values while the override is on and look read-only otherwise.
    void setOverrideFieldsEditable(bool editable);
    // A value typed into an override field moves its slider, which sends the record.
    void takeTypedValue(QLineEdit* field, QSlider* slider);

    std::unique_ptr<Ui::StatusWidget> ui_;
    bool joystickConnected_ = false;
    bool rudderConnected_ = false;
    uint32_t joystickVersion_ = 0;
    uint32_t rudderVersion_ = 0;
    QLabel* overrideNotice_; // child; says that the game's data is ignored while the override is on
    Telemetry telemetry_;
    // Each value field's last number and the text made of it: an unchanged number is not
    // formatted again (13 fields, several times a second).
    struct ShownValue {
        bool made = false;
        float value = 0.0f;
        QString text;
    };
    std::array<ShownValue, 13> shownValues_;
    bool overrideEnabled_ = false;
    bool streaming_ = false;
    Telemetry::Source source_ = Telemetry::TELEMETRY_SOURCE_NONE;
    bool replaying_ = false;
    QString replayName_;
};
