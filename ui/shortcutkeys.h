#pragma once

#include <QKeyCombination>
#include <QKeySequence>
#include <QString>

#include <cstdint>

// The "Forces off" key as the desktop knows it: the X11 key symbol and modifier mask a key
// grab needs, and the trigger text a desktop portal takes. Only keys that can be told apart
// on every keyboard layout are offered for a system-wide grab; pure functions.
//
// Threading: any thread.
namespace ShortcutKeys {

// Ctrl+Shift+Space: not a key a simulator binds by default.
QKeyCombination defaultKey();

// The X11 key symbol of a Qt key; 0 for a key without one here.
uint32_t keysym(Qt::Key key);
// The key symbol's name as the desktop's shortcut files spell it ("space", "F5"); empty when
// keysym() has none.
QString keysymName(Qt::Key key);
// X11 modifier mask of Ctrl, Shift, Alt (Mod1) and Meta (Mod4); other modifiers are ignored.
uint16_t x11Modifiers(Qt::KeyboardModifiers modifiers);
// "CTRL+SHIFT+space" for the desktop portal's preferred trigger; empty for a key it cannot name.
QString portalTrigger(QKeyCombination key);

// Why a key cannot serve as the system-wide "Forces off" key, or empty when it can. A bare
// key or one with Shift only would be taken from every other program's typing.
QString unsuitable(QKeyCombination key);

// The stored text of a key ("Ctrl+Shift+Space") and back; text that is not one usable key
// reads as the default.
QString toText(QKeyCombination key);
QKeyCombination fromText(const QString& text);

} // namespace ShortcutKeys
