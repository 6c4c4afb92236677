#include "setup/il2startupconfig.h"

#include "setup/configtext.h"

#include <QRegularExpression>

namespace Il2StartupConfig {
namespace {

const QString Address = QStringLiteral("127.0.0.1");
const QString Port = QStringLiteral("29777");

const QRegularExpression BlockStart(QStringLiteral(R"(^\s*\[\s*KEY\s*=\s*telemetrydevice\s*\]\s*$)"),
                                    QRegularExpression::CaseInsensitiveOption);
const QRegularExpression BlockEnd(QStringLiteral(R"(^\s*\[\s*END\s*\]\s*$)"),
                                  QRegularExpression::CaseInsensitiveOption);
const QRegularExpression AnyBlockStart(QStringLiteral(R"(^\s*\[\s*KEY\s*=)"),
                                       QRegularExpression::CaseInsensitiveOption);
const QRegularExpression Setting(QStringLiteral(R"(^(\s*)([A-Za-z0-9_]+)\s*=\s*(.*?)\s*$)"));

QString unquoted(const QString& value) {
    QString v = value.trimmed();
    if (v.size() >= 2 && v.startsWith(QLatin1Char('"')) && v.endsWith(QLatin1Char('"'))) {
        v = v.mid(1, v.size() - 2).trimmed();
    }
    return v;
}

// The block's settings by line, found between its first and last line.
struct Block {
    ConfigText& text;
    int first;
    int end; // index of the [END] line
    QString indent = QStringLiteral("\t");

    int find(const QString& key) const {
        for (int i = first + 1; i < end; ++i) {
            const QRegularExpressionMatch m = Setting.match(text.line(i));
            if (m.hasMatch() && m.captured(2).compare(key, Qt::CaseInsensitive) == 0) {
                return i;
            }
        }
        return -1;
    }
    QString value(const QString& key) const {
        const int i = find(key);
        return i < 0 ? QString() : unquoted(Setting.match(text.line(i)).captured(3));
    }
    bool has(const QString& key) const { return find(key) >= 0; }
    // Sets key to value (written as given); leaves a line that already says so untouched.
    void set(const QString& key, const QString& written) {
        const int i = find(key);
        if (i < 0) {
            text.insert(end, indent + key + QStringLiteral(" = ") + written);
            ++end;
            return;
        }
        const QRegularExpressionMatch m = Setting.match(text.line(i));
        if (unquoted(m.captured(3)).compare(unquoted(written), Qt::CaseInsensitive) != 0) {
            text.replace(i, m.captured(1) + m.captured(2) + QStringLiteral(" = ") + written);
        }
    }
};

QString quoted(const QString& value) {
    return QLatin1Char('"') + value + QLatin1Char('"');
}

} // namespace

ConfigEdit withTelemetry(const QString& original) {
    ConfigText text(original);
    ConfigEdit edit;

    int first = -1;
    for (int i = 0; i < text.size() && first < 0; ++i) {
        if (BlockStart.match(text.line(i)).hasMatch()) {
            first = i;
        }
    }
    if (first < 0) {
        // No block yet: a complete one at the end of the file.
        for (const QString& line :
             {QStringLiteral("[KEY = telemetrydevice]"), QStringLiteral("\taddr = ") + quoted(Address),
              QStringLiteral("\tdecimation = 1"), QStringLiteral("\tenable = true"),
              QStringLiteral("\tport = ") + Port, QStringLiteral("[END]")}) {
            text.insert(text.size(), line);
        }
        edit.text = text.toString();
        edit.notes << QStringLiteral("Added the telemetry block.");
        return edit;
    }

    int end = first + 1;
    while (end < text.size() && !BlockEnd.match(text.line(end)).hasMatch() &&
           !AnyBlockStart.match(text.line(end)).hasMatch()) {
        ++end;
    }
    if (end == text.size() || !BlockEnd.match(text.line(end)).hasMatch()) {
        // A block left open: close it where the next block starts or the file ends.
        text.insert(end, QStringLiteral("[END]"));
        edit.notes << QStringLiteral("Closed the telemetry block, which had no [END].");
    }

    Block block{text, first, end};
    for (int i = first + 1; i < end; ++i) {
        const QRegularExpressionMatch m = Setting.match(text.line(i));
        if (m.hasMatch()) {
            block.indent = m.captured(1);
            break;
        }
    }

    block.set(QStringLiteral("decimation"), QStringLiteral("1"));
    block.set(QStringLiteral("enable"), QStringLiteral("true"));

    const QString ours = Address + QLatin1Char(':') + Port;
    const QString addr = block.value(QStringLiteral("addr"));
    bool sending = (addr == Address && block.value(QStringLiteral("port")) == Port) || addr == ours;
    int freeIndex = 1;
    for (int n = 1; n < 100; ++n) {
        const QString key = QStringLiteral("addr") + QString::number(n);
        if (block.has(key)) {
            sending = sending || block.value(key) == ours;
            freeIndex = n + 1;
        }
    }
    if (!sending) {
        if (addr.isEmpty() || (addr == Address && !block.has(QStringLiteral("port")))) {
            block.set(QStringLiteral("addr"), quoted(Address));
            block.set(QStringLiteral("port"), Port);
        } else {
            // addr and port belong to another receiver: keep them and add ours beside them.
            block.set(QStringLiteral("addr") + QString::number(freeIndex), quoted(ours));
            edit.notes << QStringLiteral("Kept the receiver %1 (port %2) and added %3.")
                              .arg(addr, block.value(QStringLiteral("port")), ours);
        }
    }
    edit.text = text.toString();
    return edit;
}

} // namespace Il2StartupConfig
