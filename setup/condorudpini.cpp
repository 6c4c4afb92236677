#include "setup/condorudpini.h"

#include "setup/configtext.h"

#include <QRegularExpression>

namespace CondorUdpIni {
namespace {

const QRegularExpression Section(QStringLiteral(R"(^\s*\[\s*([^\]]*?)\s*\]\s*$)"));
const QRegularExpression Setting(QStringLiteral(R"(^(\s*)([^=;#\[\s][^=]*?)\s*=\s*(.*?)\s*$)"));

// Sets key=value in section; returns the value it replaced, or a null string when the key
// was missing or already had the value.
QString set(ConfigText& text, const QString& section, const QString& key, const QString& value) {
    int first = -1;
    for (int i = 0; i < text.size() && first < 0; ++i) {
        const QString line = text.line(i);
        if (!line.contains(QLatin1Char('['))) {
            continue; // most lines; the regular expression only for candidates
        }
        const QRegularExpressionMatch m = Section.match(line);
        if (m.hasMatch() && m.captured(1).compare(section, Qt::CaseInsensitive) == 0) {
            first = i;
        }
    }
    if (first < 0) {
        if (text.size() > 0 && !text.line(text.size() - 1).trimmed().isEmpty()) {
            text.insert(text.size(), QString());
        }
        text.insert(text.size(), QLatin1Char('[') + section + QLatin1Char(']'));
        text.insert(text.size(), key + QLatin1Char('=') + value);
        return QString();
    }
    int lastSetting = first;
    for (int i = first + 1; i < text.size(); ++i) {
        const QString line = text.line(i);
        if (line.contains(QLatin1Char('[')) && Section.match(line).hasMatch()) {
            break;
        }
        const QRegularExpressionMatch m =
            line.contains(QLatin1Char('=')) ? Setting.match(line) : QRegularExpressionMatch();
        if (!m.hasMatch()) {
            if (!line.trimmed().isEmpty()) {
                lastSetting = i;
            }
            continue;
        }
        lastSetting = i;
        if (m.captured(2).compare(key, Qt::CaseInsensitive) == 0) {
            if (m.captured(3) == value) {
                return QString();
            }
            text.replace(i, m.captured(1) + m.captured(2) + QLatin1Char('=') + value);
            return m.captured(3).isNull() ? QStringLiteral("") : m.captured(3);
        }
    }
    text.insert(lastSetting + 1, key + QLatin1Char('=') + value);
    return QString();
}

} // namespace

ConfigEdit withTelemetry(const QString& original) {
    ConfigText text(original);
    ConfigEdit edit;
    set(text, QStringLiteral("General"), QStringLiteral("Enabled"), QStringLiteral("1"));
    const QString host =
        set(text, QStringLiteral("Connection"), QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
    const QString port =
        set(text, QStringLiteral("Connection"), QStringLiteral("Port"), QStringLiteral("55278"));
    set(text, QStringLiteral("Misc"), QStringLiteral("SendIntervalMs"), QStringLiteral("10"));
    set(text, QStringLiteral("Misc"), QStringLiteral("ExtendedData"), QStringLiteral("1"));
    if (!host.isNull() || !port.isNull()) {
        edit.notes << QStringLiteral("Condor sends to one receiver: replaced %1%2%3 with 127.0.0.1:55278.")
                          .arg(host.isNull() ? QStringLiteral("the host") : QStringLiteral("host ") + host,
                               port.isNull() ? QString() : QStringLiteral(" port "), port);
    }
    edit.text = text.toString();
    return edit;
}

} // namespace CondorUdpIni
