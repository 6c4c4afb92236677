#include "ui/shortcutkeys.h"

#include <QCoreApplication>

#include <array>

namespace {

struct NamedKey {
    Qt::Key key;
    uint32_t keysym;
    const char* name;
};

// Keys whose symbol does not follow from their Qt code; letters, digits and F-keys are
// computed below.
constexpr std::array<NamedKey, 19> kNamed{{
    {Qt::Key_Space, 0x0020, "space"},   {Qt::Key_Escape, 0xff1b, "Escape"},
    {Qt::Key_Tab, 0xff09, "Tab"},       {Qt::Key_Backspace, 0xff08, "BackSpace"},
    {Qt::Key_Return, 0xff0d, "Return"}, {Qt::Key_Insert, 0xff63, "Insert"},
    {Qt::Key_Delete, 0xffff, "Delete"}, {Qt::Key_Pause, 0xff13, "Pause"},
    {Qt::Key_Print, 0xff61, "Print"},   {Qt::Key_Home, 0xff50, "Home"},
    {Qt::Key_End, 0xff57, "End"},       {Qt::Key_Left, 0xff51, "Left"},
    {Qt::Key_Up, 0xff52, "Up"},         {Qt::Key_Right, 0xff53, "Right"},
    {Qt::Key_Down, 0xff54, "Down"},     {Qt::Key_PageUp, 0xff55, "Prior"},
    {Qt::Key_PageDown, 0xff56, "Next"}, {Qt::Key_ScrollLock, 0xff14, "Scroll_Lock"},
    {Qt::Key_Minus, 0x002d, "minus"},
}};

constexpr uint16_t kShiftMask = 1 << 0;
constexpr uint16_t kControlMask = 1 << 2;
constexpr uint16_t kMod1Mask = 1 << 3;
constexpr uint16_t kMod4Mask = 1 << 6;

bool isFunctionKey(Qt::Key key) {
    return key >= Qt::Key_F1 && key <= Qt::Key_F35;
}

} // namespace

namespace ShortcutKeys {

QKeyCombination defaultKey() {
    return QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Space);
}

uint32_t keysym(Qt::Key key) {
    for (const NamedKey& k : kNamed) {
        if (k.key == key) {
            return k.keysym;
        }
    }
    // Qt's codes of letters and digits are their Latin-1 capitals; X11 names the key by its
    // lower-case symbol.
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        return static_cast<uint32_t>(key) + 0x20;
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return static_cast<uint32_t>(key);
    }
    if (isFunctionKey(key)) {
        return 0xffbe + static_cast<uint32_t>(key - Qt::Key_F1);
    }
    return 0;
}

QString keysymName(Qt::Key key) {
    for (const NamedKey& k : kNamed) {
        if (k.key == key) {
            return QString::fromLatin1(k.name);
        }
    }
    const uint32_t sym = keysym(key);
    if (sym == 0) {
        return {};
    }
    if (isFunctionKey(key)) {
        return QStringLiteral("F%1").arg(int(key - Qt::Key_F1) + 1);
    }
    return QString(QChar(char16_t(sym)));
}

uint16_t x11Modifiers(Qt::KeyboardModifiers modifiers) {
    uint16_t mask = 0;
    mask |= modifiers.testFlag(Qt::ShiftModifier) ? kShiftMask : 0;
    mask |= modifiers.testFlag(Qt::ControlModifier) ? kControlMask : 0;
    mask |= modifiers.testFlag(Qt::AltModifier) ? kMod1Mask : 0;
    mask |= modifiers.testFlag(Qt::MetaModifier) ? kMod4Mask : 0;
    return mask;
}

QString portalTrigger(QKeyCombination key) {
    const QString name = keysymName(key.key());
    if (name.isEmpty()) {
        return {};
    }
    QString out;
    const Qt::KeyboardModifiers m = key.keyboardModifiers();
    out += m.testFlag(Qt::ControlModifier) ? QStringLiteral("CTRL+") : QString();
    out += m.testFlag(Qt::AltModifier) ? QStringLiteral("ALT+") : QString();
    out += m.testFlag(Qt::ShiftModifier) ? QStringLiteral("SHIFT+") : QString();
    out += m.testFlag(Qt::MetaModifier) ? QStringLiteral("LOGO+") : QString();
    return out + name;
}

QString unsuitable(QKeyCombination key) {
    if (keysym(key.key()) == 0) {
        return QCoreApplication::translate("ShortcutKeys", "%1 cannot be taken system-wide; choose a letter, "
                                                           "a digit, a function key, Space or an arrow key")
            .arg(QKeySequence(key).toString(QKeySequence::NativeText));
    }
    const Qt::KeyboardModifiers held = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (!(key.keyboardModifiers() & held) && !isFunctionKey(key.key()) && key.key() != Qt::Key_Pause &&
        key.key() != Qt::Key_ScrollLock) {
        return QCoreApplication::translate("ShortcutKeys",
                                           "Hold Ctrl, Alt or Meta with the key, so that typing in other "
                                           "programs is left alone");
    }
    return {};
}

QString toText(QKeyCombination key) {
    return QKeySequence(key).toString(QKeySequence::PortableText);
}

QKeyCombination fromText(const QString& text) {
    const QKeySequence sequence = QKeySequence::fromString(text, QKeySequence::PortableText);
    if (sequence.count() != 1) {
        return defaultKey();
    }
    const QKeyCombination key = sequence[0];
    const Qt::KeyboardModifiers known =
        Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier;
    if ((key.keyboardModifiers() & ~known) || !unsuitable(key).isEmpty()) {
        return defaultKey();
    }
    return key;
}

} // namespace ShortcutKeys
