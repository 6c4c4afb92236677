#include "device/deviceaccess.h"

#include "device/hidreports.h"

#include <hidapi.h>

#include <QDir>
#include <QFile>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace DeviceAccess {

bool userMayOpen(const QString& path) {
#ifdef Q_OS_UNIX
    return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0;
#else
    Q_UNUSED(path);
    return true;
#endif
}

QList<Entry> enumerate(unsigned short productId, const AccessCheck& check) {
    QList<Entry> entries;
    hid_device_info* first = hid_enumerate(HidReports::VendorId, productId);
    for (const hid_device_info* info = first; info; info = info->next) {
        if (info->vendor_id != HidReports::VendorId || (productId != 0 && info->product_id != productId)) {
            continue;
        }
        Entry entry;
        entry.productId = info->product_id;
        if (info->product_string) {
            entry.product = QString::fromWCharArray(info->product_string);
        }
        entry.path = info->path ? QFile::decodeName(info->path) : QString();
        entry.permitted = !entry.path.isEmpty() && check(entry.path);
        entries.append(entry);
    }
    hid_free_enumeration(first);
    return entries;
}

QList<Entry> enumerateHidraw(unsigned short productId, const AccessCheck& check, const QString& sysfsRoot,
                             const QString& devRoot) {
    QList<Entry> entries;
    const QStringList nodes =
        QDir(sysfsRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    for (const QString& node : nodes) {
        QFile uevent(sysfsRoot + QLatin1Char('/') + node + QStringLiteral("/device/uevent"));
        if (!uevent.open(QIODevice::ReadOnly)) {
            continue;
        }
        Entry entry;
        bool ours = false;
        for (const QByteArray& line : uevent.readAll().split('\n')) {
            if (line.startsWith("HID_ID=")) {
                const QList<QByteArray> id = line.mid(7).split(':');
                bool vendorOk = false;
                bool productOk = false;
                const uint vendor = id.size() == 3 ? id.at(1).toUInt(&vendorOk, 16) : 0;
                const uint product = id.size() == 3 ? id.at(2).toUInt(&productOk, 16) : 0;
                ours = vendorOk && productOk && vendor == HidReports::VendorId && product <= 0xFFFF &&
                       (productId == 0 || product == productId);
                entry.productId = static_cast<unsigned short>(product);
            } else if (line.startsWith("HID_NAME=")) {
                entry.product = QString::fromUtf8(line.mid(9)).trimmed();
            }
        }
        if (ours) {
            entry.path = devRoot + QLatin1Char('/') + node;
            entry.permitted = check(entry.path);
            entries.append(entry);
        }
    }
    return entries;
}

Presence presence(const QList<Entry>& entries) {
    if (entries.isEmpty()) {
        return Presence::Absent;
    }
    for (const Entry& entry : entries) {
        if (entry.permitted) {
            return Presence::Permitted;
        }
    }
    return Presence::NoPermission;
}

QString deviceName(unsigned short productId) {
    switch (productId) {
    case HidReports::JoystickProductId:
        return QStringLiteral("Joystick base");
    case HidReports::RudderProductId:
        return QStringLiteral("Rudder unit");
    default:
        return QStringLiteral("Unknown device");
    }
}

QString udevRule() {
    return QStringLiteral(
        "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"3f21\", ATTRS{idProduct}==\"7a10\", TAG+=\"uaccess\"\n"
        "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"3f21\", ATTRS{idProduct}==\"7a2c\", TAG+=\"uaccess\"\n");
}

QString permissionAdvice() {
    return QStringLiteral("This user may not open the device. Install the package, or put these lines into "
                          "/etc/udev/rules.d/70-grovik-trennal.rules:\n") +
           udevRule() +
           QStringLiteral("then reload the rules and re-plug the device:\n"
                          "  sudo udevadm control --reload-rules && sudo udevadm trigger\n"
                          "The rule gives access to the user logged in at the machine's own screen.");
}

QString formatList(const QList<Entry>& entries) {
    if (entries.isEmpty()) {
        return QStringLiteral("No Grovik device (USB vendor 3F21) is attached.\n");
    }
    QString text;
    bool refused = false;
    for (const Entry& entry : entries) {
        const QString id = QStringLiteral("%1").arg(entry.productId, 4, 16, QLatin1Char('0')).toUpper();
        text += deviceName(entry.productId) + QStringLiteral(" (3F21:") + id + QLatin1Char(')');
        if (!entry.product.isEmpty()) {
            text += QStringLiteral(" \"") + entry.product + QStringLiteral("\"");
        }
        text += QStringLiteral("\n  path: ") + entry.path + QStringLiteral("\n  access: ") +
                (entry.permitted ? QStringLiteral("yes") : QStringLiteral("no permission")) +
                QLatin1Char('\n');
        refused = refused || !entry.permitted;
    }
    if (refused) {
        text += QLatin1Char('\n') + permissionAdvice() + QLatin1Char('\n');
    }
    return text;
}

} // namespace DeviceAccess
