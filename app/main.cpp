#include "app/instancelock.h"
#include "app/mainwindow.h"
#include "app/shutdownsignals.h"
#include "forces/metatypes.h"

#include <QApplication>
#include <QLockFile>
#include <QMessageBox>

#include <cstdio>

int main(int argc, char* argv[]) {
    registerMetaTypes();
    QApplication app(argc, argv);

    // A second instance would open the same devices and fight the first one at 200 Hz.
    QLockFile instanceLock(instanceLockPath());
    if (!tryInstanceLock(instanceLock)) {
        const QString text = QStringLiteral("Grovik Trennal is already running.");
        std::fprintf(stderr, "%s\n", qPrintable(text));
        const QString platform = QGuiApplication::platformName();
        if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal")) {
            QMessageBox::information(nullptr, QStringLiteral("Grovik Trennal"), text);
        }
        return 1;
    }
    // Ctrl+C, kill, log-out: the same way out as closing the window (the window's destructor
    // leaves the devices at zero and joins the worker threads).
    ShutdownSignals shutdownSignals;
    QObject::connect(&shutdownSignals, &ShutdownSignals::received, &app, &QCoreApplication::quit);

    MainWindow window;
    window.show();
    window.centre();
    return app.exec();
}
