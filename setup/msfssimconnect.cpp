#include "setup/msfssimconnect.h"

#include "setup/configtext.h"

#include <QRegularExpression>

namespace MsfsSimConnect {
namespace {

const QRegularExpression::PatternOptions Options =
    QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption;
const QRegularExpression Comment(QStringLiteral("<!--.*?-->"), Options);
// A block holds no other block's start: an unclosed one before it does not swallow it.
const QRegularExpression
    Block(QStringLiteral(R"(<SimConnect\.Comm\s*>((?:(?!<SimConnect\.Comm\s*>).)*?)</SimConnect\.Comm\s*>)"),
          Options);
const QRegularExpression DocumentStart(QStringLiteral(R"(<SimBase\.Document\b)"), Options);
const QRegularExpression DocumentEnd(QStringLiteral(R"(</SimBase\.Document\s*>)"), Options);

// The text with every comment blanked out (same length), so a block inside a comment does
// not count while positions stay those of the file.
QString masked(const QString& xml) {
    QString out = xml;
    QRegularExpressionMatchIterator it = Comment.globalMatch(xml);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        for (qsizetype i = m.capturedStart(); i < m.capturedEnd(); ++i) {
            if (out[i] != QLatin1Char('\n') && out[i] != QLatin1Char('\r')) {
                out[i] = QLatin1Char(' ');
            }
        }
    }
    return out;
}

QString element(const QString& block, const QString& name) {
    const QRegularExpression re(QStringLiteral("<%1\\s*>\\s*(.*?)\\s*</%1\\s*>").arg(name), Options);
    const QRegularExpressionMatch m = re.match(block);
    return m.hasMatch() ? m.captured(1) : QString();
}

int portOf(const QString& block) {
    bool ok = false;
    const int port = element(block, QStringLiteral("Port")).toInt(&ok);
    return ok ? port : 0;
}

QString eolOf(const QString& text) {
    const qsizetype crlf = text.count(QStringLiteral("\r\n"));
    return crlf > 0 && crlf * 2 >= text.count(QLatin1Char('\n')) ? QStringLiteral("\r\n")
                                                                 : QStringLiteral("\n");
}

// Where the line holding position `at` starts, and its leading white space.
qsizetype lineStart(const QString& text, qsizetype at) {
    return text.lastIndexOf(QLatin1Char('\n'), at - 1) + 1;
}
QString indentAt(const QString& text, qsizetype at) {
    const qsizetype start = lineStart(text, at);
    qsizetype end = start;
    while (end < text.size() && (text[end] == QLatin1Char(' ') || text[end] == QLatin1Char('\t'))) {
        ++end;
    }
    return text.mid(start, end - start);
}

QString blockText(const QString& indent, const QString& eol, quint16 port) {
    const QString inner =
        indent + (indent.contains(QLatin1Char('\t')) ? QStringLiteral("\t") : QStringLiteral("    "));
    QString out = indent + QStringLiteral("<SimConnect.Comm>") + eol;
    const QList<QPair<QString, QString>> elements{{QStringLiteral("Descr"), listenerName()},
                                                  {QStringLiteral("Disabled"), QStringLiteral("False")},
                                                  {QStringLiteral("Protocol"), QStringLiteral("IPv4")},
                                                  {QStringLiteral("Scope"), QStringLiteral("global")},
                                                  {QStringLiteral("Address"), QStringLiteral("127.0.0.1")},
                                                  {QStringLiteral("Port"), QString::number(port)},
                                                  {QStringLiteral("MaxClients"), QStringLiteral("64")},
                                                  {QStringLiteral("MaxRecvSize"), QStringLiteral("41088")},
                                                  {QStringLiteral("DisableNagle"), QStringLiteral("True")}};
    for (const auto& [name, value] : elements) {
        out += inner + QLatin1Char('<') + name + QLatin1Char('>') + value + QStringLiteral("</") + name +
               QLatin1Char('>') + eol;
    }
    return out + indent + QStringLiteral("</SimConnect.Comm>");
}

struct Found {
    Listener listener;
    qsizetype start = -1; // the block's extent in the text
    qsizetype end = -1;
};

Found findOurs(const QString& xml) {
    Found found;
    QRegularExpressionMatchIterator it = Block.globalMatch(masked(xml));
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const QString block = m.captured(1);
        if (element(block, QStringLiteral("Descr")).compare(listenerName(), Qt::CaseInsensitive) != 0) {
            continue;
        }
        Listener& l = found.listener;
        l.found = true;
        l.address = element(block, QStringLiteral("Address"));
        l.port = portOf(block);
        l.usable =
            element(block, QStringLiteral("Disabled")).compare(QStringLiteral("True"), Qt::CaseInsensitive) !=
                0 &&
            element(block, QStringLiteral("Protocol")).compare(QStringLiteral("IPv4"), Qt::CaseInsensitive) ==
                0 &&
            !l.address.isEmpty() && l.port >= 1024 && l.port <= 65535;
        found.start = m.capturedStart();
        found.end = m.capturedEnd();
        return found;
    }
    return found;
}

} // namespace

QString listenerName() {
    return QStringLiteral("Grovik Trennal");
}

Listener ourListener(const QString& xml) {
    return findOurs(xml).listener;
}

QList<int> ports(const QString& xml) {
    QList<int> out;
    const QString text = masked(xml);
    QRegularExpressionMatchIterator it = Block.globalMatch(text);
    while (it.hasNext()) {
        const int port = portOf(it.next().captured(1));
        if (port > 0) {
            out << port;
        }
    }
    return out;
}

QString check(const QString& xml) {
    const QString text = masked(xml);
    if (!DocumentStart.match(text).hasMatch() || !DocumentEnd.match(text).hasMatch()) {
        return QStringLiteral("it has no <SimBase.Document> element, so it is not MSFS's SimConnect.xml");
    }
    return QString();
}

ConfigEdit withListener(const QString& xml, quint16 port) {
    ConfigEdit edit{xml, {}};
    const Found ours = findOurs(xml);
    if (ours.listener.usable) {
        return edit;
    }
    const QString eol = eolOf(xml);
    if (ours.listener.found) {
        // Ours, but switched off or incomplete: a fresh one in its place.
        edit.text = xml.left(ours.start) + blockText(indentAt(xml, ours.start), eol, port).trimmed() +
                    xml.mid(ours.end);
        edit.notes << QStringLiteral("Replaced the %1 listener of SimConnect.xml, which could not serve.")
                          .arg(listenerName());
        return edit;
    }
    const QString text = masked(xml);
    QRegularExpressionMatch last;
    QRegularExpressionMatchIterator ends = DocumentEnd.globalMatch(text);
    while (ends.hasNext()) {
        last = ends.next();
    }
    if (!last.hasMatch()) {
        return edit;
    }
    const QRegularExpressionMatch first = Block.match(text);
    const QString indent = first.hasMatch() ? indentAt(xml, first.capturedStart()) : QStringLiteral("    ");
    const qsizetype at = last.capturedStart();
    const qsizetype start = lineStart(xml, at);
    if (xml.mid(start, at - start).trimmed().isEmpty()) {
        edit.text = xml.left(start) + blockText(indent, eol, port) + eol + xml.mid(start);
    } else {
        edit.text = xml.left(at) + eol + blockText(indent, eol, port) + eol + xml.mid(at);
    }
    edit.notes << QStringLiteral("Added a listener for Grovik Trennal on 127.0.0.1 port %1.").arg(port);
    return edit;
}

ConfigEdit withClient(const QString& cfg, const QString& address, quint16 port) {
    static const QRegularExpression section(QStringLiteral(R"(^\s*\[\s*([^\]]*?)\s*\]\s*$)"));
    static const QRegularExpression setting(QStringLiteral(R"(^(\s*)([^=;#\[\s][^=]*?)\s*=\s*(.*?)\s*$)"));
    ConfigText text(cfg);
    int first = -1;
    for (int i = 0; i < text.size() && first < 0; ++i) {
        const QRegularExpressionMatch m = section.match(text.line(i));
        const QString name = m.captured(1).toLower();
        if (m.hasMatch() && (name == QLatin1String("simconnect") || name == QLatin1String("simconnect.0"))) {
            first = i;
        }
    }
    const QList<QPair<QString, QString>> wanted{{QStringLiteral("Protocol"), QStringLiteral("IPv4")},
                                                {QStringLiteral("Address"), address},
                                                {QStringLiteral("Port"), QString::number(port)}};
    if (first < 0) {
        if (text.size() > 0 && !text.line(text.size() - 1).trimmed().isEmpty()) {
            text.insert(text.size(), QString());
        }
        text.insert(text.size(), QStringLiteral("[SimConnect]"));
        for (const auto& [key, value] : wanted) {
            text.insert(text.size(), key + QLatin1Char('=') + value);
        }
        return ConfigEdit{text.toString(), {}};
    }
    for (const auto& [key, value] : wanted) {
        int last = first;
        bool done = false;
        for (int i = first + 1; i < text.size() && !done; ++i) {
            const QString line = text.line(i);
            if (section.match(line).hasMatch()) {
                break;
            }
            const QRegularExpressionMatch m = setting.match(line);
            if (!m.hasMatch()) {
                continue;
            }
            last = i;
            if (m.captured(2).compare(key, Qt::CaseInsensitive) == 0) {
                if (m.captured(3).compare(value, Qt::CaseInsensitive) != 0) {
                    text.replace(i, m.captured(1) + m.captured(2) + QLatin1Char('=') + value);
                }
                done = true;
            }
        }
        if (!done) {
            text.insert(last + 1, key + QLatin1Char('=') + value);
        }
    }
    return ConfigEdit{text.toString(), {}};
}

} // namespace MsfsSimConnect
