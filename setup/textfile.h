#pragma once

#include <QByteArray>
#include <QString>

// The games' text files as they are stored: plain bytes (ANSI or UTF-8 without a byte order
// mark, read as Latin-1 so every byte comes back unchanged), UTF-8 with a byte order mark, or
// UTF-16 of either byte order with its mark. An edited file is written back in the encoding it
// was read in, so it never mixes two; a file that cannot be read as any of them is refused.
// Writing replaces the file in one step, and only after a flush that succeeded.
//
// Threading: pure functions and the file system; any thread.
namespace TextFile {

enum class Encoding { Bytes, Utf8Bom, Utf16Le, Utf16Be };

struct Decoded {
    Encoding encoding = Encoding::Bytes;
    QString text;
    QString error; // why the bytes are not a text file the set-up can edit; empty when they are
};

Decoded decode(const QByteArray& bytes);
QByteArray encode(const QString& text, Encoding encoding);
// "UTF-8 with a byte order mark", "UTF-16 (little-endian)", ...
QString encodingName(Encoding encoding);

// Writes bytes to path through a temporary that replaces the file only when every byte reached
// it: on a full disk or a size limit the old file stays. False with the system's reason.
bool write(const QString& path, const QByteArray& bytes, QString* reason);

} // namespace TextFile
