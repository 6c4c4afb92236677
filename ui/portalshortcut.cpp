#include "ui/portalshortcut.h"

#include "ui/shortcutkeys.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QLoggingCategory>

#include <utility>

Q_DECLARE_LOGGING_CATEGORY(lcKeyGrab)

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString kShortcutId = QStringLiteral("forces_off");

using PortalShortcutList = QList<PortalShortcut::Entry>;

QVariantMap toMap(const QVariant& value) {
    if (value.canConvert<QDBusArgument>()) {
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    }
    return value.toMap();
}

} // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut::Entry& entry) {
    argument.beginStructure();
    argument << entry.id << entry.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut::Entry& entry) {
    argument.beginStructure();
    argument >> entry.id >> entry.properties;
    argument.endStructure();
    return argument;
}

PortalShortcut::PortalShortcut(QObject* parent) : QObject(parent) {
    qDBusRegisterMetaType<Entry>();
    qDBusRegisterMetaType<PortalShortcutList>();
}

PortalShortcut::~PortalShortcut() {
    closeSession();
}

void PortalShortcut::bind(QKeyCombination key, const QString& description) {
    ++generation_;
    closeSession();
    key_ = key;
    description_ = description;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        emit failed(tr("no desktop session bus"));
        return;
    }
    // The portal's version property says whether the desktop has global shortcuts at all.
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kInterface << QStringLiteral("version");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(get), this);
    const int generation = generation_;
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this, [this, generation](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            if (generation != generation_) {
                return;
            }
            if (w->isError()) {
                emit failed(tr("the desktop offers no global shortcuts"));
                return;
            }
            request(QStringLiteral("CreateSession"), {},
                    {{QStringLiteral("session_handle_token"), QStringLiteral("trennal%1").arg(++tokens_)}},
                    [this](uint code, const QVariantMap& results) {
                        session_ = results.value(QStringLiteral("session_handle")).toString();
                        if (session_.isEmpty()) {
                            session_ = qvariant_cast<QDBusObjectPath>(
                                           results.value(QStringLiteral("session_handle")))
                                           .path();
                        }
                        if (code != 0 || session_.isEmpty()) {
                            session_.clear();
                            emit failed(tr("the desktop refused a shortcut session"));
                            return;
                        }
                        QDBusConnection::sessionBus().connect(kService, kPath, kInterface,
                                                              QStringLiteral("Activated"), this,
                                                              SLOT(onActivated(QDBusMessage)));
                        QVariantMap properties{{QStringLiteral("description"), description_}};
                        const QString trigger = ShortcutKeys::portalTrigger(key_);
                        if (!trigger.isEmpty()) {
                            properties.insert(QStringLiteral("preferred_trigger"), trigger);
                        }
                        const PortalShortcutList shortcuts{{kShortcutId, properties}};
                        request(QStringLiteral("BindShortcuts"),
                                {QVariant::fromValue(QDBusObjectPath(session_)),
                                 QVariant::fromValue(shortcuts), QString()},
                                {}, [this](uint bindCode, const QVariantMap& bindResults) {
                                    if (bindCode == 1) {
                                        closeSession();
                                        emit failed(tr("declined in the desktop's dialog"));
                                        return;
                                    }
                                    PortalShortcutList list;
                                    const QVariant value = bindResults.value(QStringLiteral("shortcuts"));
                                    if (value.canConvert<QDBusArgument>()) {
                                        value.value<QDBusArgument>() >> list;
                                    }
                                    for (const Entry& entry : list) {
                                        if (bindCode == 0 && entry.id == kShortcutId) {
                                            emit bound(
                                                entry.properties.value(QStringLiteral("trigger_description"))
                                                    .toString());
                                            return;
                                        }
                                    }
                                    // A session without the key would only hold a name on the bus.
                                    closeSession();
                                    emit failed(tr("the desktop did not take the key"));
                                });
                    });
        });
}

void PortalShortcut::request(const QString& method, QList<QVariant> arguments, QVariantMap options,
                             std::function<void(uint, const QVariantMap&)> then) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString token = QStringLiteral("trennal%1").arg(++tokens_);
    options.insert(QStringLiteral("handle_token"), token);
    // The answer comes on a request object whose path follows from our bus name and the
    // token; listening before calling means no answer can come too early.
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    if (!pendingPath_.isEmpty()) {
        bus.disconnect(kService, pendingPath_, kRequestInterface, QStringLiteral("Response"), this,
                       SLOT(onResponse(QDBusMessage)));
    }
    pendingPath_ = QStringLiteral("%1/request/%2/%3").arg(kPath, sender, token);
    pendingThen_ = std::move(then);
    bus.connect(kService, pendingPath_, kRequestInterface, QStringLiteral("Response"), this,
                SLOT(onResponse(QDBusMessage)));
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    arguments.append(options);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    const int generation = generation_;
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this, [this, generation](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            if (generation != generation_) {
                return;
            }
            const QDBusPendingReply<QDBusObjectPath> reply = *w;
            if (reply.isError()) {
                pendingThen_ = nullptr;
                emit failed(tr("the desktop's shortcut portal answered: %1").arg(reply.error().message()));
                return;
            }
            // An older portal picks its own path: listen there instead.
            const QString path = reply.value().path();
            if (!path.isEmpty() && path != pendingPath_) {
                QDBusConnection bus = QDBusConnection::sessionBus();
                bus.disconnect(kService, pendingPath_, kRequestInterface, QStringLiteral("Response"), this,
                               SLOT(onResponse(QDBusMessage)));
                pendingPath_ = path;
                bus.connect(kService, pendingPath_, kRequestInterface, QStringLiteral("Response"), this,
                            SLOT(onResponse(QDBusMessage)));
            }
        });
}

void PortalShortcut::onResponse(const QDBusMessage& message) {
    if (message.path() != pendingPath_ || !pendingThen_) {
        return;
    }
    QDBusConnection::sessionBus().disconnect(kService, pendingPath_, kRequestInterface,
                                             QStringLiteral("Response"), this,
                                             SLOT(onResponse(QDBusMessage)));
    pendingPath_.clear();
    const QList<QVariant> args = message.arguments();
    const uint code = args.size() > 0 ? args.at(0).toUInt() : 2;
    const QVariantMap results = args.size() > 1 ? toMap(args.at(1)) : QVariantMap();
    const auto then = std::exchange(pendingThen_, nullptr);
    then(code, results);
}

void PortalShortcut::onActivated(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (args.size() >= 2 && qvariant_cast<QDBusObjectPath>(args.at(0)).path() == session_ &&
        args.at(1).toString() == kShortcutId) {
        emit pressed();
    }
}

void PortalShortcut::closeSession() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!pendingPath_.isEmpty()) {
        bus.disconnect(kService, pendingPath_, kRequestInterface, QStringLiteral("Response"), this,
                       SLOT(onResponse(QDBusMessage)));
        pendingPath_.clear();
    }
    pendingThen_ = nullptr;
    if (session_.isEmpty()) {
        return;
    }
    bus.disconnect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                   SLOT(onActivated(QDBusMessage)));
    bus.asyncCall(QDBusMessage::createMethodCall(
        kService, session_, QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Close")));
    session_.clear();
}
