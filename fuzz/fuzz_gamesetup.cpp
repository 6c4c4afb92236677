// Any bytes as a game's configuration file (IL-2 startup.cfg, Condor UDP.ini, DCS Export.lua):
// each edit must finish, keep the text Latin-1 so it writes back byte for byte, and change
// nothing when applied to its own result, so that a set-up run twice does no harm.

#include "setup/condorudpini.h"
#include "setup/dcsexportlua.h"
#include "setup/il2startupconfig.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
void check(ConfigEdit (*edit)(const QString&), const QString& text) {
    const ConfigEdit once = edit(text);
    for (const QChar c : once.text) {
        if (c.unicode() > 0xFF) {
            std::abort();
        }
    }
    if (edit(once.text).text != once.text) {
        std::abort();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    check(Il2StartupConfig::withTelemetry, text);
    check(CondorUdpIni::withTelemetry, text);
    check(DcsExportLua::withDofile, text);
    return 0;
}
