#pragma once

#include <QDBusObjectPath>
#include <QKeyCombination>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

class QDBusArgument;
class QDBusMessage;

// A key taken from the whole Wayland desktop through the desktop's GlobalShortcuts portal: a
// session on the session bus with one shortcut in it. The desktop, not this program, decides
// the key in the end (it may ask the user, or keep a key the user chose before); the trigger
// it reports is what the window shows. Everything runs by asynchronous D-Bus calls.
//
// Threading: GUI thread; never blocks.
class PortalShortcut : public QObject {
    Q_OBJECT

public:
    // One entry of the portal's shortcut lists, a(sa{sv}): an id and its properties.
    struct Entry {
        QString id;
        QVariantMap properties;
    };

    explicit PortalShortcut(QObject* parent = nullptr);
    ~PortalShortcut() override;

    // Asks the desktop for `key` under the given description; the answer comes as bound() or
    // failed(). A new call closes the previous session first.
    void bind(QKeyCombination key, const QString& description);

signals:
    // The desktop took the shortcut; `trigger` is its own description of the key, which may
    // be empty or differ from the key asked for.
    void bound(const QString& trigger);
    void failed(const QString& reason);
    void pressed();

private slots:
    void onResponse(const QDBusMessage& message);
    void onActivated(const QDBusMessage& message);

private:
    // Calls a portal method whose answer comes as a Request's Response signal; `then` gets
    // the response code and results.
    void request(const QString& method, QList<QVariant> arguments, QVariantMap options,
                 std::function<void(uint, const QVariantMap&)> then);
    void closeSession();

    QKeyCombination key_;
    QString description_;
    QString session_;
    QString pendingPath_;
    std::function<void(uint, const QVariantMap&)> pendingThen_;
    int generation_ = 0;
    int tokens_ = 0;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut::Entry& entry);
const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut::Entry& entry);
Q_DECLARE_METATYPE(PortalShortcut::Entry)
