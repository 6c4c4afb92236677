#include "setup/il2startupconfig.h"

#include "setup/configtext.h"

#include <QRegularExpression>

#include <utility>

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
const QRegularExpression ExtraAddress(QStringLiteral(R"(^addr([1-9][0-9]{0,3})$)"),
                                      QRegularExpression::CaseInsensitiveOption);
const QRegularExpression Setting(QStringLiteral(R"(^(\s*)([A-Za-z0-9_]+)\s*=\s*(.*?)\s*$)"));

QString unquoted(const QString& value) {
    QString v = value.trimmed();
    if (v.size() >= 2 && v.startsWith(QLatin1Char('"')) && v.endsWith(QLatin1Char('"'))) {
        v = v.mid(1, v.size() - 2).trimmed();
    }
    return v;
}

// The block's settings, read once: each line's index, indentation, key and raw value.
struct Block {
    struct Entry {
        int line;
        QString indent;
        QString key;
        QString value;
    };
    ConfigText& text;
    int end; // index of the [END] line
    QList<Entry> entries;
    QString indent = QStringLiteral("\t");

    Block(ConfigText& t, int first, int endLine) : text(t), end(endLine) {
        for (int i = first + 1; i < end; ++i) {
            const QString line = text.line(i);
            const QRegularExpressionMatch m =
                line.contains(QLatin1Char('=')) ? Setting.match(line) : QRegularExpressionMatch();
            if (m.hasMatch()) {
                entries.append({i, m.captured(1), m.captured(2), m.captured(3)});
            }
        }
        if (!entries.isEmpty()) {
            indent = entries.constFirst().indent;
        }
    }

    const Entry* find(const QString& key) const {
        for (const Entry& e : entries) {
            if (e.key.compare(key, Qt::CaseInsensitive) == 0) {
                return &e;
            }
        }
        return nullptr;
    }
    QString value(const QString& key) const {
        const Entry* e = find(key);
        return e ? unquoted(e->value) : QString();
    }
    bool has(const QString& key) const { return find(key) != nullptr; }
    // Sets key to value (written as given); leaves a line that already says so untouched.
    // Returns what changed, for the user: empty when nothing did.
    QString set(const QString& key, const QString& written) {
        for (Entry& e : entries) {
            if (e.key.compare(key, Qt::CaseInsensitive) == 0) {
                if (unquoted(e.value).compare(unquoted(written), Qt::CaseInsensitive) == 0) {
                    return QString();
                }
                const QString was = e.value.trimmed();
                text.replace(e.line, e.indent + e.key + QStringLiteral(" = ") + written);
                e.value = written;
                return QStringLiteral("Changed %1 from %2 to %3.")
                    .arg(e.key, was.isEmpty() ? QStringLiteral("\"\"") : was, written);
            }
        }
        // New lines go last in the block, so no line index read so far moves.
        text.insert(end, indent + key + QStringLiteral(" = ") + written);
        entries.append({end, indent, key, written});
        ++end;
        return QStringLiteral("Added %1 = %2.").arg(key, written);
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
        const QString line = text.line(i);
        if (line.contains(QStringLiteral("telemetrydevice"), Qt::CaseInsensitive) &&
            BlockStart.match(line).hasMatch()) {
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
    while (end < text.size() && (!text.line(end).contains(QLatin1Char('[')) ||
                                 (!BlockEnd.match(text.line(end)).hasMatch() &&
                                  !AnyBlockStart.match(text.line(end)).hasMatch()))) {
        ++end;
    }
    if (end == text.size() || !BlockEnd.match(text.line(end)).hasMatch()) {
        // A block left open: close it where the next block starts or the file ends.
        text.insert(end, QStringLiteral("[END]"));
        edit.notes << QStringLiteral("Closed the telemetry block, which had no [END].");
    }

    Block block(text, first, end);

    const QString ours = Address + QLatin1Char(':') + Port;
    const QString addr = block.value(QStringLiteral("addr"));
    const QString port = block.value(QStringLiteral("port"));
    bool sending = (addr == Address && port == Port) || addr == ours;
    // Further receivers are addr1, addr2, ...; ours may be one of them.
    int freeIndex = 1;
    QStringList others;
    if (!addr.isEmpty() && !(addr == Address && (port == Port || port.isEmpty())) && addr != ours) {
        others << (port.isEmpty() ? addr : addr + QLatin1Char(':') + port);
    }
    for (const Block::Entry& e : block.entries) {
        const QRegularExpressionMatch m = ExtraAddress.match(e.key);
        if (m.hasMatch()) {
            const QString receiver = unquoted(e.value);
            sending = sending || receiver == ours;
            freeIndex = qMax(freeIndex, m.captured(1).toInt() + 1);
            if (receiver != ours) {
                others << receiver;
            }
        }
    }

    // The rate and the switch are the block's, so they apply to every receiver in it: a change
    // another program will notice is said with its name.
    const QString shared = others.isEmpty()
                               ? QString()
                               : QStringLiteral(" It applies to every receiver of the block, also %1.")
                                     .arg(others.join(QStringLiteral(", ")));
    for (const auto& [key, value] : {std::pair{QStringLiteral("decimation"), QStringLiteral("1")},
                                     std::pair{QStringLiteral("enable"), QStringLiteral("true")}}) {
        const QString change = block.set(key, value);
        if (!change.isEmpty()) {
            edit.notes << change + shared;
        }
    }
    if (!sending) {
        if (addr.isEmpty() || (addr == Address && port.isEmpty())) {
            for (const auto& [key, value] : {std::pair{QStringLiteral("addr"), quoted(Address)},
                                             std::pair{QStringLiteral("port"), Port}}) {
                const QString change = block.set(key, value);
                if (!change.isEmpty()) {
                    edit.notes << change;
                }
            }
        } else {
            // addr and port belong to another receiver: keep them and add ours beside them.
            block.set(QStringLiteral("addr") + QString::number(freeIndex), quoted(ours));
            edit.notes
                << QStringLiteral("Kept the receiver %1 (port %2) and added %3.").arg(addr, port, ours);
        }
    }
    edit.text = text.toString();
    return edit;
}

} // namespace Il2StartupConfig
