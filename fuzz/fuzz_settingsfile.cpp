// Any bytes as a game's settings file: read in its encoding, they write back byte for byte;
// the MSFS edits finish, keep a listener they added usable, and change nothing when applied to
// their own result, so that a set-up run twice does no harm.

#include "setup/msfssimconnect.h"
#include "setup/textfile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const TextFile::Decoded decoded = TextFile::decode(bytes);
    if (decoded.error.isEmpty() && TextFile::encode(decoded.text, decoded.encoding) != bytes) {
        std::abort();
    }
    const QString& text = decoded.text;
    const ConfigEdit xml = MsfsSimConnect::withListener(text, 5111);
    if (MsfsSimConnect::withListener(xml.text, 5112).text != xml.text) {
        std::abort();
    }
    if (xml.text != text && !MsfsSimConnect::ourListener(xml.text).usable) {
        std::abort();
    }
    const ConfigEdit cfg = MsfsSimConnect::withClient(text, QStringLiteral("127.0.0.1"), 5111);
    if (MsfsSimConnect::withClient(cfg.text, QStringLiteral("127.0.0.1"), 5111).text != cfg.text) {
        std::abort();
    }
    return 0;
}
