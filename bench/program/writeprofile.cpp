// trennal-bench-profile DIR: writes DIR/effect_profiles/<file> holding the profile the program
// benchmark's DCS stream ("BENCH") selects: the elevator's weight at full strength and nothing
// else, so that the elevator force is -10 per G and tells which datagram it came from.

#include "profiles/profilejson.h"
#include "profiles/profilestore.h"
#include "records/effectsprofile.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: trennal-bench-profile DIR\n");
        return 2;
    }
    EffectsProfile profile;
    profile.resetToDefaults();
    profile.metadata.flight_data_source = Telemetry::TELEMETRY_SOURCE_DCS;
    profile.metadata.flight_module = QStringLiteral("BENCH");
    profile.effects.axes[1].elevator_weight.active = true;
    profile.effects.axes[1].elevator_weight.total_effect_strength = 100.0f;
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("effect_profiles"))) {
        return 1;
    }
    QFile file(dir.filePath(QStringLiteral("effect_profiles/") + ProfileStore::fileName(profile.metadata)));
    if (!file.open(QIODevice::WriteOnly) || file.write(ProfileJson::toDocument(profile)) < 0) {
        return 1;
    }
    std::printf("%s\n", qPrintable(file.fileName()));
    return 0;
}
