#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class DirectXSettingsWidget;
}
class DirectXSettings;

// Settings panel of the gains for the force-feedback effects a game sends to the device
// itself: total, spring, periodic and trimmer strength.
//
// Threading: GUI thread.
class DirectXSettingsWidget : public QWidget {
    Q_OBJECT

public:
    explicit DirectXSettingsWidget(QWidget* parent = nullptr);
    ~DirectXSettingsWidget() override;

    void bind(DirectXSettings* settings);
    void refresh();

signals:
    void settingsChanged();

private:
    void edit(float DirectXSettings::*field, int value);

    std::unique_ptr<Ui::DirectXSettingsWidget> ui_;
    DirectXSettings* settings_ = nullptr;
    bool updating_ = false;
};
