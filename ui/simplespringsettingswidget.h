#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class SimpleSpringSettingsWidget;
}
class SimpleEffectSettings;

// Settings panel of the simple spring: one simple effect panel bound to the same settings,
// whose announcements it passes on as its own.
//
// Threading: GUI thread.
class SimpleSpringSettingsWidget : public QWidget {
    Q_OBJECT

public:
    explicit SimpleSpringSettingsWidget(QWidget* parent = nullptr);
    ~SimpleSpringSettingsWidget() override;

    void bind(SimpleEffectSettings* settings);
    void refresh();

signals:
    void settingsChanged();

private:
    std::unique_ptr<Ui::SimpleSpringSettingsWidget> ui_;
};
