#include "setup/textfile.h"

#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>
#include <cstring>

namespace TextFile {
namespace {

const QByteArray Utf8Mark("\xEF\xBB\xBF");
const QByteArray Utf16LeMark("\xFF\xFE");
const QByteArray Utf16BeMark("\xFE\xFF");
// The mark itself is taken off first; a second one belongs to the text and is kept.
constexpr QStringConverter::Flags DecodeFlags =
    QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;

Decoded failure(const QString& why) {
    Decoded d;
    d.error = why;
    return d;
}

Decoded utf16(const QByteArray& bytes, Encoding encoding) {
    if (bytes.size() % 2 != 0) {
        return failure(QStringLiteral("it is marked as UTF-16 but ends in half a character"));
    }
    QStringDecoder decoder(
        encoding == Encoding::Utf16Le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE, DecodeFlags);
    Decoded d;
    d.encoding = encoding;
    d.text = decoder.decode(QByteArrayView(bytes).sliced(2));
    if (decoder.hasError()) {
        return failure(QStringLiteral("it is marked as UTF-16 but is not valid UTF-16"));
    }
    return d;
}

} // namespace

Decoded decode(const QByteArray& bytes) {
    if (bytes.startsWith(Utf8Mark)) {
        QStringDecoder decoder(QStringConverter::Utf8, DecodeFlags);
        Decoded d;
        d.encoding = Encoding::Utf8Bom;
        d.text = decoder.decode(QByteArrayView(bytes).sliced(Utf8Mark.size()));
        if (decoder.hasError()) {
            return failure(QStringLiteral("it is marked as UTF-8 but holds bytes that are not UTF-8"));
        }
        return d;
    }
    if (bytes.startsWith(Utf16LeMark)) {
        return utf16(bytes, Encoding::Utf16Le);
    }
    if (bytes.startsWith(Utf16BeMark)) {
        return utf16(bytes, Encoding::Utf16Be);
    }
    if (bytes.contains('\0')) {
        // UTF-16 without its mark, or no text at all: lines added as single bytes would make
        // a file of two encodings.
        return failure(QStringLiteral("it holds NUL bytes (UTF-16 without a byte order mark, or not text)"));
    }
    Decoded d;
    d.text = QString::fromLatin1(bytes);
    return d;
}

QByteArray encode(const QString& text, Encoding encoding) {
    switch (encoding) {
    case Encoding::Bytes:
        return text.toLatin1();
    case Encoding::Utf8Bom:
        return Utf8Mark + text.toUtf8();
    case Encoding::Utf16Le:
    case Encoding::Utf16Be: {
        QStringEncoder encoder(encoding == Encoding::Utf16Le ? QStringConverter::Utf16LE
                                                             : QStringConverter::Utf16BE,
                               QStringConverter::Flag::Stateless);
        const QByteArray body = encoder.encode(text);
        return (encoding == Encoding::Utf16Le ? Utf16LeMark : Utf16BeMark) + body;
    }
    }
    return QByteArray();
}

QString encodingName(Encoding encoding) {
    switch (encoding) {
    case Encoding::Bytes:
        return QStringLiteral("ANSI or UTF-8");
    case Encoding::Utf8Bom:
        return QStringLiteral("UTF-8 with a byte order mark");
    case Encoding::Utf16Le:
        return QStringLiteral("UTF-16 (little-endian)");
    case Encoding::Utf16Be:
        return QStringLiteral("UTF-16 (big-endian)");
    }
    return QString();
}

bool write(const QString& path, const QByteArray& bytes, QString* reason) {
    QSaveFile file(path);
    // Qt 6.4's commit() renames the temporary even when its own final flush failed, so the
    // flush is done and checked first; an unfinished temporary goes with the file object.
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        *reason = file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.flush() || file.error() != QFileDevice::NoError) {
        const int code = errno;
        *reason = file.errorString();
        if (code != 0 && (reason->isEmpty() || *reason == QLatin1String("Unknown error"))) {
            *reason = QString::fromLocal8Bit(std::strerror(code));
        }
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *reason = file.errorString();
        return false;
    }
    return true;
}

} // namespace TextFile
