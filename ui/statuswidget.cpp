#include "ui/statuswidget.h"

#include "ui_statuswidget.h"

#include "device/hidreports.h"
#include "records/gamename.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <tuple>
#include <unordered_map>
#include <vector>

#include <utility>

namespace {

QString formatValue(float value) {
    return QString::number(static_cast<double>(value), 'g', 6);
}

// Width of a line edit that shows `sample` whole: text, frame and the edit's inner margins.
int fieldWidthFor(const QLineEdit* field, const QString& sample) {
    const int frame = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, field);
    const QMargins margins = field->textMargins();
    return field->fontMetrics().horizontalAdvance(sample) + 2 * frame + margins.left() + margins.right() + 8;
}

// A field is only touched when its text changes: setting a line edit's text, even the same
// one, lays it out and repaints it, and the panel is fed several times a second.
void showValue(QLineEdit* field, const QString& text) {
    if (field->text() != text) {
        field->setText(text);
    }
}

// Long names scroll in their field; the start of the text is what stays in view.
void showText(QLineEdit* field, const QString& text) {
    if (field->text() != text) {
        field->setText(text);
        field->setCursorPosition(0);
    }
}

// What a telemetry field shows while no game streams.
const QString kNoValue = QStringLiteral("\u2013");

// Paints what lies behind a widget before the widget paints itself, so that the widget can
// be opaque: a changed number or a moved slider then repaints that widget alone, not the
// group boxes and panel behind it (most of the panel's cost while a game streams). What lies
// behind is each enclosing widget's own painting, from the window down (the nested group boxes
// shade their inside a little more each), drawn once into a pixmap and kept until the widget
// moves or resizes within its window, or the look changes.
class BackgroundBehind : public QObject {
public:
    using QObject::QObject;

    void watch(QWidget* widget) {
        widget->setAttribute(Qt::WA_OpaquePaintEvent);
        widget->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = static_cast<QWidget*>(watched);
        switch (event->type()) {
        case QEvent::Paint: {
            auto* field = qobject_cast<QLineEdit*>(widget);
            if (field != nullptr && paintPlainField(field)) {
                return true;
            }
            const QPixmap& pixmap = behind(widget);
            QPainter(widget).drawPixmap(0, 0, pixmap);
            break;
        }
        case QEvent::Show:
        case QEvent::StyleChange:
            // A style may make a widget non-opaque when it polishes it (the usual one does so
            // for sliders), which would bring back the repaints behind it; both come after.
            widget->setAttribute(Qt::WA_OpaquePaintEvent);
            cache_.erase(widget);
            break;
        case QEvent::PaletteChange:
        case QEvent::FontChange:
        case QEvent::EnabledChange:
            cache_.erase(widget);
            break;
        default:
            break;
        }
        return false;
    }

private:
    struct Behind {
        QRect inWindow;
        qreal ratio = 0;
        QPixmap pixmap;
        // For a field: what lies behind with the field's empty face on it, in this state and
        // palette.
        QPixmap face;
        QStyle::State faceState;
        qint64 facePalette = 0;
    };

    // A field that only shows its text (read-only, not focused, nothing selected, the text in
    // view whole) is painted as the field paints itself, but on a kept picture of its empty
    // face: the style's frame, drawn with antialiasing, is most of a field's own painting, and
    // it looks the same from one number to the next. Any other field paints itself.
    bool paintPlainField(QLineEdit* field) {
        const Qt::Alignment aligned = QStyle::visualAlignment(field->layoutDirection(), field->alignment());
        if (!field->isReadOnly() || field->hasFocus() || field->hasSelectedText() ||
            field->text().isEmpty() || field->layoutDirection() != Qt::LeftToRight ||
            !field->actions().isEmpty() ||
            (aligned & Qt::AlignHorizontal_Mask & ~Qt::AlignAbsolute) != Qt::AlignLeft ||
            (aligned & Qt::AlignVertical_Mask) != Qt::AlignVCenter) {
            return false;
        }
        // The field's own panel, as it asks the style for it.
        QStyleOptionFrame panel;
        panel.initFrom(field);
        panel.rect = field->contentsRect();
        panel.lineWidth =
            field->hasFrame() ? field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &panel, field) : 0;
        panel.midLineWidth = 0;
        panel.state |= QStyle::State_Sunken | QStyle::State_ReadOnly;
        panel.features = QStyleOptionFrame::None;

        // Where the field puts its text: centred in its contents, two pixels in from the left,
        // and scrolled only when it does not fit (then the field paints itself).
        const QRect contents = field->style()
                                   ->subElementRect(QStyle::SE_LineEditContents, &panel, field)
                                   .marginsRemoved(field->textMargins());
        const QString text = field->displayText();
        QTextLayout layout(text, field->font());
        QTextOption option = layout.textOption();
        option.setTextDirection(Qt::LeftToRight);
        option.setFlags(QTextOption::IncludeTrailingSpaces);
        layout.setTextOption(option);
        layout.beginLayout();
        const QTextLine line = layout.createLine();
        layout.endLayout();
        const QFontMetrics metrics = field->fontMetrics();
        const int lineHeight = std::max(metrics.boundingRect(text).height(), metrics.height());
        const QRect lineRect(contents.x() + kTextMargin,
                             contents.y() + (contents.height() - lineHeight + 1) / 2,
                             contents.width() - 2 * kTextMargin, lineHeight);
        if (!line.isValid() || qRound(line.naturalTextWidth()) + 1 > lineRect.width()) {
            return false;
        }

        Behind& entry = cache_[field];
        const QPixmap& background = behind(field);
        if (entry.face.isNull() || entry.faceState != panel.state ||
            entry.facePalette != panel.palette.cacheKey()) {
            entry.face = background;
            entry.faceState = panel.state;
            entry.facePalette = panel.palette.cacheKey();
            QPainter facePainter(&entry.face);
            field->style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &facePainter, field);
        }
        QPainter painter(field);
        painter.drawPixmap(0, 0, entry.face);
        painter.setClipRect(contents);
        painter.setPen(field->palette().text().color());
        layout.draw(&painter, lineRect.topLeft() - QPoint(0, qRound(line.ascent()) - metrics.ascent()));
        return true;
    }

    // The room a field leaves between its contents and its text.
    static constexpr int kTextMargin = 2;

    const QPixmap& behind(QWidget* widget) {
        Behind& entry = cache_[widget];
        const QRect inWindow(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
        const qreal ratio = widget->devicePixelRatioF();
        if (entry.pixmap.isNull() || entry.inWindow != inWindow || entry.ratio != ratio) {
            entry.inWindow = inWindow;
            entry.ratio = ratio;
            entry.face = QPixmap();
            entry.pixmap = QPixmap(widget->size() * ratio);
            entry.pixmap.setDevicePixelRatio(ratio);
            entry.pixmap.fill(widget->palette().color(QPalette::Window));
            std::vector<QWidget*> enclosing;
            for (QWidget* w = widget->parentWidget(); w != nullptr;
                 w = w->isWindow() ? nullptr : w->parentWidget()) {
                enclosing.push_back(w);
            }
            // Each one's own painting (none of its children), the window's background first.
            for (auto it = enclosing.rbegin(); it != enclosing.rend(); ++it) {
                const QRect source(widget->mapTo(*it, QPoint(0, 0)), widget->size());
                (*it)->render(&entry.pixmap, QPoint(), QRegion(source),
                              (*it)->isWindow() ? QWidget::DrawWindowBackground : QWidget::RenderFlags());
            }
        }
        return entry.pixmap;
    }

    std::unordered_map<const QWidget*, Behind> cache_;
};

// A field that ignores typing looks it: the window's colour behind the text.
void lookEditable(QLineEdit* field, bool editable) {
    field->setReadOnly(!editable);
    QPalette palette = field->parentWidget() ? field->parentWidget()->palette() : field->palette();
    if (!editable) {
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    }
    field->setPalette(palette);
}

QString connectedText(uint32_t version) {
    return QStringLiteral("Connected ") + QStringLiteral("(Version ") +
           StatusWidget::firmwareVersion(version) + QStringLiteral(")");
}

// A slider's position for a value: rounded and held within its range, NaN at 0.
int sliderPosition(const QSlider* slider, float value) {
    const double v = std::isfinite(value) ? static_cast<double>(value) : 0.0;
    return static_cast<int>(std::lround(
        std::clamp(v, static_cast<double>(slider->minimum()), static_cast<double>(slider->maximum()))));
}

// Whether a slider's handle stands on the same pixel at `position` as now: while the sliders
// only show the game's values, a move too small to see is not painted.
bool sameHandlePixel(const QSlider* slider, int position) {
    const int length = slider->orientation() == Qt::Horizontal ? slider->width() : slider->height();
    const int span =
        std::max(1, length - slider->style()->pixelMetric(QStyle::PM_SliderLength, nullptr, slider));
    const auto pixel = [&](int value) {
        return QStyle::sliderPositionFromValue(slider->minimum(), slider->maximum(), value, span);
    };
    return pixel(slider->value()) == pixel(position);
}

} // namespace

StatusWidget::StatusWidget(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::StatusWidget>()) {
    ui_->setupUi(this);
    overrideNotice_ = new QLabel(
        tr("<b>Override on: the game's data is ignored.</b> These values drive the forces."), this);
    overrideNotice_->setObjectName(QStringLiteral("override_notice"));
    overrideNotice_->setWordWrap(true);
    overrideNotice_->setVisible(false);
    ui_->verticalLayout_2->insertWidget(ui_->verticalLayout_2->indexOf(ui_->telemetry_override) + 1,
                                        overrideNotice_);
    // The value fields fit the longest number the six-digit format makes, such as -1.23457e+06.
    const int valueWidth = fieldWidthFor(ui_->airspeed_field, QStringLiteral("-1.23457e+06"));
    for (QLineEdit* field :
         {ui_->airspeed_field, ui_->prop_airflow_field, ui_->aoa_field, ui_->sideslip_field,
          ui_->roll_rate_field, ui_->g_force_field, ui_->trimmer_roll_field, ui_->trimmer_pitch_field,
          ui_->trimmer_yaw_field, ui_->gear_field, ui_->flaps_field, ui_->airbrake_field,
          ui_->vertical_speed_field, ui_->on_ground_state_field, ui_->roll_input, ui_->pitch_input,
          ui_->yaw_input}) {
        field->setMinimumWidth(valueWidth);
    }
    // Fields and sliders change while a game streams; each repaints alone, on a copy of what
    // lies behind it.
    auto* background = new BackgroundBehind(this);
    for (QLineEdit* field : findChildren<QLineEdit*>()) {
        lookEditable(field, false);
        background->watch(field);
    }
    for (QSlider* slider : findChildren<QSlider*>()) {
        background->watch(slider);
    }
    const std::pair<QLineEdit*, QSlider*> overrides[] = {
        {ui_->airspeed_field, ui_->airspeed_slider},
        {ui_->prop_airflow_field, ui_->prop_airflow_slider},
        {ui_->aoa_field, ui_->aoa_slider},
        {ui_->sideslip_field, ui_->sideslip_slider},
        {ui_->roll_rate_field, ui_->roll_rate_slider},
        {ui_->g_force_field, ui_->g_force_slider},
        {ui_->trimmer_roll_field, ui_->trimmer_roll_slider},
        {ui_->trimmer_pitch_field, ui_->trimmer_pitch_slider},
        {ui_->trimmer_yaw_field, ui_->trimmer_yaw_slider},
        {ui_->gear_field, ui_->gear_slider},
        {ui_->flaps_field, ui_->flaps_slider},
        {ui_->airbrake_field, ui_->airbrake_slider},
        {ui_->vertical_speed_field, ui_->vertical_speed_slider}};
    for (const auto& [field, slider] : overrides) {
        field->setToolTip(tr("Type a value from %1 to %2 while the override is on")
                              .arg(slider->minimum())
                              .arg(slider->maximum()));
        connect(field, &QLineEdit::editingFinished, this,
                [this, field = field, slider = slider] { takeTypedValue(field, slider); });
    }
    // Each slider sets its field of the hand-set record and sends it; vertical speed shows the
    // record before sending it, the others after.
    const std::pair<QSlider*, float Telemetry::*> sliders[] = {
        {ui_->airspeed_slider, &Telemetry::airspeed},
        {ui_->prop_airflow_slider, &Telemetry::propAirflow},
        {ui_->aoa_slider, &Telemetry::aoa},
        {ui_->sideslip_slider, &Telemetry::sideslip},
        {ui_->roll_rate_slider, &Telemetry::rollRate},
        {ui_->g_force_slider, &Telemetry::gForce},
        {ui_->trimmer_roll_slider, &Telemetry::trimmerRoll},
        {ui_->trimmer_pitch_slider, &Telemetry::trimmerPitch},
        {ui_->trimmer_yaw_slider, &Telemetry::trimmerYaw},
        {ui_->gear_slider, &Telemetry::gear},
        {ui_->flaps_slider, &Telemetry::flaps},
        {ui_->airbrake_slider, &Telemetry::airbrake}};
    for (const auto& [slider, member] : sliders) {
        connect(slider, &QSlider::valueChanged, this,
                [this, member = member](int value) { overrideField(telemetry_.*member, value); });
    }
    connect(ui_->vertical_speed_slider, &QSlider::valueChanged, this, [this](int value) {
        telemetry_.verticalSpeed = static_cast<float>(value);
        showTelemetry();
        emit telemetryOverrided(telemetry_);
    });
    connect(ui_->telemetry_override, &QCheckBox::stateChanged, this,
            [this](int state) { setOverrideOn(state != Qt::Unchecked); });
    connect(ui_->on_ground_state_button, &QAbstractButton::clicked, this, &StatusWidget::toggleOnGround);
    connect(ui_->reset_telemetry_button, &QAbstractButton::clicked, this, &StatusWidget::resetTelemetry);
    telemetry_ = Telemetry{};
    overrideEnabled_ = false;
    const QString notDetected = QStringLiteral("Not detected");
    ui_->joystick_state->setText(notDetected);
    ui_->rudder_state->setText(notDetected);
    ui_->telemetry_data_source->setText(notDetected);
    ui_->flight_module->setText(notDetected);
    endTelemetry();
}

StatusWidget::~StatusWidget() = default;

QString StatusWidget::firmwareVersion(uint32_t version) {
    return QStringLiteral("%1.%2.%3")
        .arg((version >> 8) & 0xFFu)
        .arg((version >> 16) & 0xFFu)
        .arg((version >> 24) & 0xFFu);
}

void StatusWidget::showDevicePresence(unsigned short productId, DeviceAccess::Presence presence) {
    QLineEdit* field = nullptr;
    if (productId == HidReports::JoystickProductId && !joystickConnected_) {
        field = ui_->joystick_state;
    } else if (productId == HidReports::RudderProductId && !rudderConnected_) {
        field = ui_->rudder_state;
    }
    if (!field) {
        return;
    }
    if (presence == DeviceAccess::Presence::NoPermission) {
        showText(field, QStringLiteral("Found, no permission"));
        field->setToolTip(DeviceAccess::permissionAdvice());
    } else {
        showText(field, QStringLiteral("Not detected"));
        field->setToolTip(QString());
    }
}

void StatusWidget::showDeviceAbsent(QLineEdit* field, bool& connected) {
    connected = false;
    field->setText(QStringLiteral("Not detected"));
    field->setToolTip(QString());
}

void StatusWidget::changeTelemetry(Telemetry telemetry) {
    streaming_ = true;
    if (overrideEnabled_) {
        return;
    }
    telemetry_ = telemetry;
    showTelemetry();
    followWithSliders(false);
}

void StatusWidget::followWithSliders(bool exact) {
    const std::pair<QSlider*, float> values[] = {{ui_->airspeed_slider, telemetry_.airspeed},
                                                 {ui_->prop_airflow_slider, telemetry_.propAirflow},
                                                 {ui_->aoa_slider, telemetry_.aoa},
                                                 {ui_->sideslip_slider, telemetry_.sideslip},
                                                 {ui_->roll_rate_slider, telemetry_.rollRate},
                                                 {ui_->g_force_slider, telemetry_.gForce},
                                                 {ui_->trimmer_roll_slider, telemetry_.trimmerRoll},
                                                 {ui_->trimmer_pitch_slider, telemetry_.trimmerPitch},
                                                 {ui_->trimmer_yaw_slider, telemetry_.trimmerYaw},
                                                 {ui_->gear_slider, telemetry_.gear},
                                                 {ui_->flaps_slider, telemetry_.flaps},
                                                 {ui_->airbrake_slider, telemetry_.airbrake},
                                                 {ui_->vertical_speed_slider, telemetry_.verticalSpeed}};
    for (const auto& [slider, value] : values) {
        const int position = sliderPosition(slider, value);
        if (slider->value() == position || (!exact && sameHandlePixel(slider, position))) {
            continue;
        }
        const QSignalBlocker block(slider);
        slider->setValue(position);
    }
}

void StatusWidget::changeTelemetrySource(Telemetry::Source source, QString name) {
    source_ = source;
    showSource();
    showText(ui_->flight_module, name);
}

void StatusWidget::endTelemetry() {
    source_ = Telemetry::TELEMETRY_SOURCE_NONE;
    showSource();
    ui_->flight_module->setText(QStringLiteral("Not detected"));
    streaming_ = false;
    if (!overrideEnabled_) {
        showNoValues(); // the hand-set record stays on show
    }
}

void StatusWidget::showNoValues() {
    // The last game's numbers would read as live ones: every field shows that none arrive.
    telemetry_ = Telemetry{};
    followWithSliders(true);
    for (QLineEdit* field :
         {ui_->airspeed_field, ui_->prop_airflow_field, ui_->aoa_field, ui_->sideslip_field,
          ui_->roll_rate_field, ui_->g_force_field, ui_->trimmer_roll_field, ui_->trimmer_pitch_field,
          ui_->trimmer_yaw_field, ui_->gear_field, ui_->flaps_field, ui_->airbrake_field,
          ui_->vertical_speed_field, ui_->on_ground_state_field}) {
        showValue(field, kNoValue);
    }
}

void StatusWidget::showReplay(bool replaying, const QString& name) {
    replaying_ = replaying;
    replayName_ = name;
    showSource();
}

void StatusWidget::showSource() {
    if (source_ == Telemetry::TELEMETRY_SOURCE_NONE) {
        showText(ui_->telemetry_data_source, gameName(source_, GameNameStyle::SourceField));
        ui_->telemetry_data_source->setToolTip(QString());
        return;
    }
    if (replaying_) {
        showText(ui_->telemetry_data_source, tr("Replay: %1").arg(replayName_));
        ui_->telemetry_data_source->setToolTip(
            tr("A recorded %1 flight, not a running game").arg(gameName(source_)));
    } else {
        showText(ui_->telemetry_data_source, gameName(source_, GameNameStyle::SourceField));
        ui_->telemetry_data_source->setToolTip(QString());
    }
}

void StatusWidget::setOverrideFieldsEditable(bool editable) {
    for (QLineEdit* field :
         {ui_->airspeed_field, ui_->prop_airflow_field, ui_->aoa_field, ui_->sideslip_field,
          ui_->roll_rate_field, ui_->g_force_field, ui_->trimmer_roll_field, ui_->trimmer_pitch_field,
          ui_->trimmer_yaw_field, ui_->gear_field, ui_->flaps_field, ui_->airbrake_field,
          ui_->vertical_speed_field}) {
        lookEditable(field, editable);
    }
}

void StatusWidget::takeTypedValue(QLineEdit* field, QSlider* slider) {
    if (!overrideEnabled_) {
        return;
    }
    const QString text = field->text().trimmed();
    bool ok = false;
    double value = QLocale().toDouble(text, &ok);
    if (!ok) {
        value = QLocale::c().toDouble(text, &ok);
    }
    if (ok && std::isfinite(value)) {
        // Beyond the slider's ends the nearest end is taken, as in every other box.
        const double clamped =
            std::clamp(value, static_cast<double>(slider->minimum()), static_cast<double>(slider->maximum()));
        slider->setValue(static_cast<int>(std::lround(clamped)));
    }
    // What is sent is shown, also after a typo or a value the slider already had.
    showTelemetry();
}

void StatusWidget::showDeviceState(QLineEdit* field, uint32_t version, bool responding) {
    if (responding) {
        field->setToolTip(QString());
        showText(field, connectedText(version));
    } else {
        field->setToolTip(tr("Connected (version %1), but it has taken no report for more than 100 ms. "
                             "Forces resume when it takes them again.")
                              .arg(firmwareVersion(version)));
        showText(field, QStringLiteral("Not responding"));
    }
}

void StatusWidget::setJoystickResponding(bool responding) {
    if (joystickConnected_) {
        showDeviceState(ui_->joystick_state, joystickVersion_, responding);
    }
}

void StatusWidget::setRudderResponding(bool responding) {
    if (rudderConnected_) {
        showDeviceState(ui_->rudder_state, rudderVersion_, responding);
    }
}

void StatusWidget::connectJoystick(uint32_t version) {
    joystickConnected_ = true;
    joystickVersion_ = version;
    showDeviceState(ui_->joystick_state, version, true);
}

void StatusWidget::disconnectJoystick() {
    showDeviceAbsent(ui_->joystick_state, joystickConnected_);
}

void StatusWidget::connectRudder(uint32_t version) {
    rudderConnected_ = true;
    rudderVersion_ = version;
    showDeviceState(ui_->rudder_state, version, true);
}

void StatusWidget::disconnectRudder() {
    showDeviceAbsent(ui_->rudder_state, rudderConnected_);
}

void StatusWidget::changePosition(PositionInput position) {
    showValue(ui_->roll_input, formatValue(position.roll));
    showValue(ui_->pitch_input, formatValue(position.pitch));
    showValue(ui_->yaw_input, formatValue(position.yaw));
}

void StatusWidget::setOverrideOn(bool on) {
    if (on) {
        // The hand-set record starts from the live values, so that the forces stay as they
        // are; it is sent once a control changes it. Meanwhile the loop keeps the game's last.
        overrideEnabled_ = true;
        overrideNotice_->setVisible(true);
        setOverrideFieldsEditable(true);
        showTelemetry();
        followWithSliders(true);
        emit telemetryOverrideEnabled();
    } else {
        resetTelemetry();
        overrideEnabled_ = false;
        overrideNotice_->setVisible(false);
        setOverrideFieldsEditable(false);
        if (!streaming_) {
            showNoValues();
        }
        emit telemetryOverrideDisabled();
    }
}

void StatusWidget::overrideField(float& field, int value) {
    field = static_cast<float>(value);
    emit telemetryOverrided(telemetry_);
    showTelemetry();
}

void StatusWidget::toggleOnGround() {
    if (telemetry_.onGround) {
        telemetry_.onGround = false;
    } else {
        telemetry_.onGround = true;
        emit landed(telemetry_.verticalSpeed, telemetry_.airspeed);
    }
    emit telemetryOverrided(telemetry_);
    showTelemetry();
}

void StatusWidget::resetTelemetry() {
    telemetry_ = Telemetry{};
    // A slider that was not at 0 sends its own all-zero record on the way.
    ui_->airspeed_slider->setValue(static_cast<int>(telemetry_.airspeed));
    ui_->prop_airflow_slider->setValue(static_cast<int>(telemetry_.propAirflow));
    ui_->aoa_slider->setValue(static_cast<int>(telemetry_.aoa));
    ui_->sideslip_slider->setValue(static_cast<int>(telemetry_.sideslip));
    ui_->roll_rate_slider->setValue(static_cast<int>(telemetry_.rollRate));
    ui_->g_force_slider->setValue(static_cast<int>(telemetry_.gForce));
    ui_->trimmer_roll_slider->setValue(static_cast<int>(telemetry_.trimmerRoll));
    ui_->trimmer_pitch_slider->setValue(static_cast<int>(telemetry_.trimmerPitch));
    ui_->trimmer_yaw_slider->setValue(static_cast<int>(telemetry_.trimmerYaw));
    ui_->gear_slider->setValue(static_cast<int>(telemetry_.gear));
    ui_->flaps_slider->setValue(static_cast<int>(telemetry_.flaps));
    ui_->airbrake_slider->setValue(static_cast<int>(telemetry_.airbrake));
    ui_->vertical_speed_slider->setValue(static_cast<int>(telemetry_.verticalSpeed));
    emit telemetryOverrided(telemetry_);
    showTelemetry();
}

void StatusWidget::showTelemetry() {
    const std::pair<QLineEdit*, float> values[] = {{ui_->airspeed_field, telemetry_.airspeed},
                                                   {ui_->prop_airflow_field, telemetry_.propAirflow},
                                                   {ui_->aoa_field, telemetry_.aoa},
                                                   {ui_->sideslip_field, telemetry_.sideslip},
                                                   {ui_->roll_rate_field, telemetry_.rollRate},
                                                   {ui_->g_force_field, telemetry_.gForce},
                                                   {ui_->trimmer_roll_field, telemetry_.trimmerRoll},
                                                   {ui_->trimmer_pitch_field, telemetry_.trimmerPitch},
                                                   {ui_->trimmer_yaw_field, telemetry_.trimmerYaw},
                                                   {ui_->gear_field, telemetry_.gear},
                                                   {ui_->flaps_field, telemetry_.flaps},
                                                   {ui_->airbrake_field, telemetry_.airbrake},
                                                   {ui_->vertical_speed_field, telemetry_.verticalSpeed}};
    static_assert(std::size(values) == std::tuple_size<decltype(shownValues_)>::value);
    for (std::size_t i = 0; i < std::size(values); ++i) {
        const auto& [field, value] = values[i];
        ShownValue& shown = shownValues_[i];
        // The same bits still showing their text need nothing; anything else (a dash, a typed
        // value, a new number) is formatted and shown.
        if (!shown.made || std::memcmp(&shown.value, &value, sizeof value) != 0 ||
            field->text() != shown.text) {
            shown.made = true;
            shown.value = value;
            shown.text = formatValue(value);
            showValue(field, shown.text);
        }
    }
    showValue(ui_->on_ground_state_field, telemetry_.onGround ? QStringLiteral("YES") : QStringLiteral("NO"));
}
