#include "setup/setuplog.h"

#include "records/logcategories.h"

#include <QDir>
#include <QFileInfo>

namespace SetupLog {

void outcome(const QString& game, const QString& folder, const GameSetup::Outcome& outcome) {
    const QString text =
        QStringLiteral("%1 set-up in %2 %3:\n%4")
            .arg(game, QDir::toNativeSeparators(QFileInfo(folder).absoluteFilePath()),
                 outcome.ok ? QStringLiteral("done") : QStringLiteral("failed"), outcome.report.trimmed());
    if (outcome.ok) {
        qCInfo(lcSetup).noquote() << text;
    } else {
        qCWarning(lcSetup).noquote() << text;
    }
}

} // namespace SetupLog
