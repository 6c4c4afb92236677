#pragma once

#include <QString>
#include <QStringList>

// The result of one of the game set-up edits: the file's new text and what the user should
// know about the change (a replaced setting, an added receiver). Equal text means no change.
struct ConfigEdit {
    QString text;
    QStringList notes;
};
