#include "setup/dcsexportlua.h"

#include "setup/configtext.h"

#include <QFile>

namespace DcsExportLua {

QString scriptFileName() {
    return QStringLiteral("grovik-trennal-export.lua");
}

QString dofileLine() {
    return QStringLiteral("local grovikTrennalLfs = require('lfs'); dofile(grovikTrennalLfs.writedir() .. "
                          "'Scripts/") +
           scriptFileName() + QStringLiteral("')");
}

ConfigEdit withDofile(const QString& original) {
    ConfigText text(original);
    for (int i = 0; i < text.size(); ++i) {
        const QString line = text.line(i).trimmed();
        if (!line.startsWith(QStringLiteral("--")) && line.contains(scriptFileName(), Qt::CaseInsensitive)) {
            return ConfigEdit{original, {}};
        }
    }
    text.insert(text.size(), dofileLine());
    return ConfigEdit{text.toString(),
                      {QStringLiteral("Added the line that loads ") + scriptFileName() + '.'}};
}

QByteArray script() {
    QFile file(QStringLiteral(":/integrations/dcs/grovik-trennal-export.lua"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace DcsExportLua
