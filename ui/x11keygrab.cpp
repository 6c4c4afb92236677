#include "ui/x11keygrab.h"

#include "ui/shortcutkeys.h"

#include <QCoreApplication>
#include <QKeySequence>
#include <QLoggingCategory>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

Q_LOGGING_CATEGORY(lcKeyGrab, "trennal.shortcut", QtInfoMsg)

namespace {

constexpr uint32_t kNumLockSym = 0xff7f;
constexpr uint32_t kScrollLockSym = 0xff14;
constexpr uint8_t kBadAccess = 10;

struct KeyboardMap {
    uint8_t first = 0;
    int perKeycode = 0;
    std::vector<uint32_t> syms;
};

KeyboardMap keyboardMap(xcb_connection_t* c) {
    KeyboardMap map;
    const xcb_setup_t* setup = xcb_get_setup(c);
    map.first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* reply =
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr);
    if (!reply) {
        return map;
    }
    map.perKeycode = reply->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
    map.syms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(reply));
    std::free(reply);
    return map;
}

// Every keycode that gives `sym` unshifted or shifted.
std::vector<uint8_t> keycodesOf(const KeyboardMap& map, uint32_t sym) {
    std::vector<uint8_t> out;
    if (map.perKeycode <= 0) {
        return out;
    }
    const size_t codes = map.syms.size() / size_t(map.perKeycode);
    for (size_t i = 0; i < codes; ++i) {
        for (int col = 0; col < std::min(map.perKeycode, 2); ++col) {
            if (map.syms[i * size_t(map.perKeycode) + size_t(col)] == sym) {
                out.push_back(uint8_t(map.first + i));
                break;
            }
        }
    }
    return out;
}

// The modifier bit that a lock key sets on this server, 0 when it is not mapped.
uint16_t modifierOf(xcb_connection_t* c, const KeyboardMap& map, uint32_t sym) {
    const std::vector<uint8_t> codes = keycodesOf(map, sym);
    xcb_get_modifier_mapping_reply_t* reply =
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr);
    if (!reply) {
        return 0;
    }
    uint16_t mask = 0;
    const xcb_keycode_t* table = xcb_get_modifier_mapping_keycodes(reply);
    const int perModifier = reply->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8 && mask == 0; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t code = table[modifier * perModifier + i];
            if (code != 0 && std::find(codes.begin(), codes.end(), code) != codes.end()) {
                mask = uint16_t(1u << modifier);
                break;
            }
        }
    }
    std::free(reply);
    return mask;
}

} // namespace

X11KeyGrab::X11KeyGrab(xcb_connection_t* connection, QObject* parent)
    : QObject(parent), connection_(connection) {
    if (connection_) {
        const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
        root_ = screens.rem > 0 ? screens.data->root : 0;
    }
}

X11KeyGrab::~X11KeyGrab() {
    ungrab();
}

QString X11KeyGrab::grab(QKeyCombination key) {
    ungrab();
    key_ = key;
    return grabKeycodes();
}

QString X11KeyGrab::grabKeycodes() {
    const QString name = QKeySequence(key_).toString(QKeySequence::NativeText);
    if (!connection_ || root_ == 0 || xcb_connection_has_error(connection_)) {
        return tr("no connection to the X server");
    }
    const uint32_t sym = ShortcutKeys::keysym(key_.key());
    const KeyboardMap map = keyboardMap(connection_);
    std::vector<uint8_t> codes = sym ? keycodesOf(map, sym) : std::vector<uint8_t>{};
    if (codes.empty()) {
        return tr("the keyboard has no key for %1").arg(name);
    }
    modifiers_ = ShortcutKeys::x11Modifiers(key_.keyboardModifiers());
    const uint16_t numLock = modifierOf(connection_, map, kNumLockSym);
    const uint16_t scrollLock = modifierOf(connection_, map, kScrollLockSym);
    lockMasks_ = uint16_t(XCB_MOD_MASK_LOCK | numLock | scrollLock);
    // Every combination of the locks that are on, so the key works with NumLock lit.
    std::vector<uint16_t> variants{0};
    for (uint16_t lock : {uint16_t(XCB_MOD_MASK_LOCK), numLock, scrollLock}) {
        if (lock == 0 || (modifiers_ & lock)) {
            continue;
        }
        const size_t n = variants.size();
        for (size_t i = 0; i < n; ++i) {
            variants.push_back(uint16_t(variants[i] | lock));
        }
    }
    // Reported to the root window even while a window of this program has the focus, so that
    // every press comes by this one road.
    std::vector<xcb_void_cookie_t> cookies;
    for (uint8_t code : codes) {
        for (uint16_t lock : variants) {
            cookies.push_back(xcb_grab_key_checked(connection_, 0, root_, uint16_t(modifiers_ | lock), code,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
    }
    bool taken = false;
    bool failed = false;
    for (xcb_void_cookie_t cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
            (error->error_code == kBadAccess ? taken : failed) = true;
            std::free(error);
        }
    }
    keycodes_ = std::move(codes);
    if (taken || failed) {
        ungrab();
        qCInfo(lcKeyGrab) << "System-wide key" << name
                          << "not grabbed:" << (taken ? "held elsewhere" : "error");
        return taken ? tr("another program holds %1").arg(name) : tr("the X server refused %1").arg(name);
    }
    qCInfo(lcKeyGrab) << "System-wide key" << name << "grabbed";
    return {};
}

void X11KeyGrab::ungrab() {
    if (connection_ && !keycodes_.empty() && !xcb_connection_has_error(connection_)) {
        for (uint8_t code : keycodes_) {
            xcb_ungrab_key(connection_, code, root_, XCB_MOD_MASK_ANY);
        }
        xcb_flush(connection_);
    }
    keycodes_.clear();
    down_ = false;
    releasedAt_ = 0;
}

bool X11KeyGrab::handleEvent(const void* event) {
    const auto* generic = static_cast<const xcb_generic_event_t*>(event);
    const uint8_t type = generic->response_type & 0x7f;
    if (type == XCB_MAPPING_NOTIFY) {
        // Another layout may put the key elsewhere: grab it where it is now.
        if (!keycodes_.empty()) {
            ungrab();
            grabKeycodes();
        }
        return false;
    }
    if ((type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) || keycodes_.empty()) {
        return false;
    }
    const auto* key = static_cast<const xcb_key_press_event_t*>(event);
    if (key->event != root_ ||
        std::find(keycodes_.begin(), keycodes_.end(), key->detail) == keycodes_.end()) {
        return false;
    }
    if (type == XCB_KEY_RELEASE) {
        // The grab holds until the key is let go, whatever modifiers are let go before it.
        down_ = false;
        releasedAt_ = key->time;
        return true;
    }
    if ((key->state & 0xff & ~lockMasks_) != modifiers_) {
        return false;
    }
    // A held key repeats as press after press, or as release and press at the same instant.
    const bool repeat = down_ || (releasedAt_ != 0 && key->time == releasedAt_);
    down_ = true;
    if (!repeat) {
        qCInfo(lcKeyGrab) << "System-wide key pressed";
        emit pressed();
    }
    return true;
}

bool X11KeyGrab::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) {
    Q_UNUSED(result);
    return eventType == "xcb_generic_event_t" && message && handleEvent(message);
}
