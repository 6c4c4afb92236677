#pragma once

#include "setup/configedit.h"

#include <QString>

#include <functional>

// Applies one of the game set-up edits to a file on disk: reads it, computes the new text,
// and when it differs keeps a copy of the old file beside it ("NAME.grovik-trennal.bak", or
// with a number when that exists) and replaces the file in one step, after a checked flush.
// The file keeps its encoding and line ends (see TextFile). A file without write permission
// for its owner is refused with a message and left untouched; so is one that cannot be read,
// decoded or backed up, and one whose text the edit's own check refuses.
//
// Threading: main thread; file system only.
class ConfigFileEditor {
public:
    struct Result {
        bool ok = false;
        bool changed = false;
        QString backupPath; // empty when nothing was backed up
        QString message;    // one line for the user: what was done or why not
        QStringList notes;
    };

    using Transform = std::function<ConfigEdit(const QString& text)>;
    // Why the text cannot be edited (not the game's file, a form the game cannot read); empty
    // when it can.
    using Check = std::function<QString(const QString& text)>;

    struct Options {
        // A missing file is created from the edit of an empty text.
        bool createIfMissing = false;
        // The game reads UTF-16 files; when not (a Lua script), such a file is refused.
        bool readsUtf16 = true;
        // Who reads the file, for the refusal of UTF-16: "DCS".
        QString reader;
        Check check;
    };

    static Result apply(const QString& path, const Transform& transform, bool createIfMissing);
    static Result apply(const QString& path, const Transform& transform, const Options& options);
};
