#include "app/mainwindow.h"
#include "forces/metatypes.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    registerMetaTypes();
    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    window.centre();
    return app.exec();
}
