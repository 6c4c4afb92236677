#pragma once

#include "setup/configedit.h"

#include <QString>

#include <functional>

// Applies one of the game set-up edits to a file on disk: reads it, computes the new text,
// and when it differs keeps a copy of the old file beside it ("NAME.grovik-trennal.bak", or
// with a number when that exists) and replaces the file in one step. A file without write
// permission for its owner is refused with a message and left untouched; so is one that
// cannot be read or backed up.
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

    // A missing file is created from the edit of an empty text when createIfMissing.
    static Result apply(const QString& path, const Transform& transform, bool createIfMissing);
};
