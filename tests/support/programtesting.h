#pragma once

#include "app/mainwindow.h"
#include "engine/engine.h"
#include "support/loophelpers.h"

// The program as main() assembles it, on free ports: the engine, the window that shows it, and
// the engine started (its loop runs once the event loop does). The window goes first, then the
// engine shuts down and leaves the devices at zero.
struct TestProgram {
    explicit TestProgram(const TelemetryEndpoints& endpoints = freeEndpoints())
        : engine(endpoints), window(engine) {
        engine.start();
    }
    Engine engine;
    MainWindow window;
};
