// Every test executable links this file: before main() it gives the process a home, config,
// data, cache and state directory of its own and switches QStandardPaths to test mode, so no
// test reads or writes the user's own settings or data, and neither does a program a test
// starts (it inherits the environment).

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

struct TestHome {
    TestHome() {
        if (!dir.isValid()) {
            return;
        }
        const auto set = [this](const char* variable, const char* sub) {
            const QString path = dir.filePath(QString::fromLatin1(sub));
            QDir().mkpath(path);
            qputenv(variable, QFile::encodeName(path));
        };
        set("HOME", "home");
        set("XDG_CONFIG_HOME", "home/.config");
        set("XDG_DATA_HOME", "home/.local/share");
        set("XDG_CACHE_HOME", "home/.cache");
        set("XDG_STATE_HOME", "home/.local/state");
        QStandardPaths::setTestModeEnabled(true);
    }
    QTemporaryDir dir;
};

const TestHome testHome;

} // namespace
