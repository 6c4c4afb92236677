#pragma once

#include "records/effectrange.h"
#include "ui/rangecontrol.h"
#include "ui/spinboxvalue.h"

#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>

#include <cstdint>
#include <functional>
#include <type_traits>
#include <utility>
#include <vector>

// Binds the controls of an effect panel to fields of the settings it edits, so that every panel
// shows, writes and announces the same way: refresh() shows the fields with the boxes' signals
// blocked (a shown value is no edit, and a value the box cannot hold is not written back), and a
// user's edit writes its field and calls the panel's announcement. Nothing is written while no
// settings are bound.
//
// Threading: GUI thread, with the panel that owns it.
template <typename Settings> class SettingsBinder {
public:
    explicit SettingsBinder(std::function<void()> edited) : edited_(std::move(edited)) {}
    SettingsBinder(const SettingsBinder&) = delete;
    SettingsBinder& operator=(const SettingsBinder&) = delete;

    void bind(Settings* settings) {
        settings_ = settings;
        refresh();
    }
    // Where a curve preview finds the bound settings, whichever they are at the time.
    Settings* const* settingsSlot() const { return &settings_; }

    // A number of the settings in a spin box, with the slider that moves with it (or none).
    // (Owner is Settings or a base of it: the total strength lives in the base of every effect.)
    template <typename Field, typename Owner>
    void number(QSpinBox* box, QSlider* slider, Field Owner::*field) {
        static_assert(std::is_base_of_v<Owner, Settings>);
        QObject::connect(box, &QSpinBox::valueChanged, box, [this, field](int value) {
            write([&](Settings& s) { s.*field = fromBox<Field>(value); });
        });
        shows_.push_back([this, box, slider, field] { show(box, slider, spinBoxValue(settings_->*field)); });
    }
    // One number of a range (its exponent) in a spin box and its slider.
    template <typename Owner>
    void number(QSpinBox* box, QSlider* slider, EffectRange Owner::*range, float EffectRange::*part) {
        static_assert(std::is_base_of_v<Owner, Settings>);
        QObject::connect(box, &QSpinBox::valueChanged, box, [this, range, part](int value) {
            write([&](Settings& s) { (s.*range).*part = static_cast<float>(value); });
        });
        shows_.push_back(
            [this, box, slider, range, part] { show(box, slider, spinBoxValue((settings_->*range).*part)); });
    }
    // Both ends of a range, kept apart by their range control.
    template <typename Owner> void range(RangeControl* ends, EffectRange Owner::*range) {
        static_assert(std::is_base_of_v<Owner, Settings>);
        QObject::connect(ends, &RangeControl::edited, ends, [this, range](int min, int max) {
            write([&](Settings& s) {
                (s.*range).min = static_cast<float>(min);
                (s.*range).max = static_cast<float>(max);
            });
        });
        shows_.push_back([this, ends, range] {
            ends->show(spinBoxValue((settings_->*range).min), spinBoxValue((settings_->*range).max));
        });
    }
    // Anything else a panel shows: called at each refresh with the bound settings.
    void onRefresh(std::function<void(const Settings&)> showIt) {
        shows_.push_back([this, showIt = std::move(showIt)] { showIt(*settings_); });
    }

    // Shows the bound settings; announces nothing.
    void refresh() {
        if (!settings_) {
            return;
        }
        for (const auto& showIt : shows_) {
            showIt();
        }
    }
    // Makes an edit of the bound settings and announces it; nothing without settings.
    template <typename Change> void write(Change change) {
        if (!settings_) {
            return;
        }
        change(*settings_);
        edited_();
    }

    // Shows a value in a box without announcing it; the slider follows as far as it reaches.
    static void show(QSpinBox* box, QSlider* slider, int value) {
        {
            const QSignalBlocker blocker(box);
            box->setValue(value);
        }
        if (slider) {
            const QSignalBlocker blocker(slider);
            slider->setValue(box->value());
        }
    }

private:
    template <typename Field> static Field fromBox(int value) {
        if constexpr (std::is_same_v<Field, std::uint64_t>) {
            return static_cast<std::uint64_t>(value < 0 ? 0 : value);
        } else {
            return static_cast<Field>(value);
        }
    }

    std::function<void()> edited_;
    Settings* settings_ = nullptr;
    std::vector<std::function<void()>> shows_;
};

// The rows the shakers' forms name alike: the strength over airspeed and the frequency, each a
// range of two boxes and sliders with the exponent of its curve.
template <typename Settings, typename Form>
void bindSpeedRows(SettingsBinder<Settings>& binder, Form* ui, QWidget* panel) {
    binder.range(RangeControl::minMax(ui->min_effect_strength_speed, ui->min_effect_strength_speed_slider,
                                      ui->max_effect_strength_speed, ui->max_effect_strength_speed_slider,
                                      panel),
                 &Settings::speed);
    binder.number(ui->speed_effect_strength_exponent, ui->speed_effect_strength_exponent_slider,
                  &Settings::speed, &EffectRange::exp);
}

template <typename Settings, typename Form>
void bindFrequencyRows(SettingsBinder<Settings>& binder, Form* ui, QWidget* panel) {
    binder.range(RangeControl::minMax(ui->min_effect_frequency, ui->min_effect_frequency_slider,
                                      ui->max_effect_frequency, ui->max_effect_frequency_slider, panel),
                 &Settings::frequency);
    binder.number(ui->frequency_exponent, ui->frequency_exponent_slider, &Settings::frequency,
                  &EffectRange::exp);
}
