#include "telemetry/recordingcsv.h"

#include "records/finite.h"

#include <QBuffer>
#include <QIODevice>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The Telemetry fields in declaration order, with their column names.
struct FloatField {
    const char* name;
    float Telemetry::*member;
};
constexpr FloatField kFloatFields[] = {
    {"airspeed", &Telemetry::airspeed},       {"verticalSpeed", &Telemetry::verticalSpeed},
    {"aileronAoa", &Telemetry::aileronAoa},   {"aoa", &Telemetry::aoa},
    {"sideslip", &Telemetry::sideslip},       {"rollRate", &Telemetry::rollRate},
    {"gForce", &Telemetry::gForce},           {"propAirflow", &Telemetry::propAirflow},
    {"trimmerRoll", &Telemetry::trimmerRoll}, {"trimmerPitch", &Telemetry::trimmerPitch},
    {"trimmerYaw", &Telemetry::trimmerYaw},   {"gear", &Telemetry::gear},
    {"airbrake", &Telemetry::airbrake},       {"flaps", &Telemetry::flaps},
};
constexpr int kFloatCount = sizeof(kFloatFields) / sizeof(kFloatFields[0]);
constexpr const char* kForceColumns[3] = {"force_ailerons", "force_elevator", "force_rudder"};

// Column indexes in the order of columns(): 0 time, 1 source, 2 aircraft, then the floats,
// onGround and the three forces.
constexpr int kOnGroundColumn = 3 + kFloatCount;
constexpr int kFirstForceColumn = kOnGroundColumn + 1;
constexpr int kColumnCount = kFirstForceColumn + 3;

QByteArray number(float value) {
    return QByteArray::number(static_cast<double>(finiteOrZero(value)), 'g', 9);
}

QByteArray quoted(const QString& text) {
    QByteArray bytes = text.toUtf8();
    bytes.replace('\r', ' ');
    bytes.replace('\n', ' ');
    if (bytes.contains(',') || bytes.contains('"') || bytes.startsWith(' ') || bytes.endsWith(' ')) {
        bytes.replace("\"", "\"\"");
        return '"' + bytes + '"';
    }
    return bytes;
}

// Splits one line (without its line break) into fields; a field in double quotes may hold
// commas and doubled quotes. False for an unterminated quote or text after a closing quote.
bool splitFields(const QByteArray& line, QVector<QByteArray>* fields) {
    fields->clear();
    QByteArray field;
    int i = 0;
    const int n = line.size();
    while (true) {
        field.clear();
        if (i < n && line[i] == '"') {
            ++i;
            while (true) {
                if (i >= n) {
                    return false;
                }
                if (line[i] == '"') {
                    if (i + 1 < n && line[i + 1] == '"') {
                        field.append('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field.append(line[i++]);
            }
            if (i < n && line[i] != ',') {
                return false;
            }
        } else {
            const int comma = line.indexOf(',', i);
            const int end = comma < 0 ? n : comma;
            field = line.mid(i, end - i);
            i = end;
        }
        fields->append(field);
        if (i >= n) {
            return true;
        }
        ++i; // the comma
        if (i == n) {
            fields->append(QByteArray());
            return true;
        }
    }
}

bool readFloat(const QByteArray& text, float* value) {
    bool ok = false;
    const double d = text.trimmed().toDouble(&ok);
    // Up to the largest float, and what a float printed with nine digits rounds up to.
    if (!ok || !std::isfinite(d) || std::fabs(d) > 3.4028235e38) {
        return false;
    }
    const double largest = std::numeric_limits<float>::max();
    *value = static_cast<float>(std::clamp(d, -largest, largest));
    return true;
}

RecordingFile failure(const QString& message) {
    RecordingFile file;
    file.error = message;
    return file;
}

} // namespace

namespace RecordingCsv {

QStringList columns() {
    QStringList names{QStringLiteral("time_ms"), QStringLiteral("source"), QStringLiteral("aircraft")};
    for (const FloatField& f : kFloatFields) {
        names << QString::fromLatin1(f.name);
    }
    names << QStringLiteral("onGround");
    for (const char* name : kForceColumns) {
        names << QString::fromLatin1(name);
    }
    return names;
}

QByteArray header() {
    return columns().join(QLatin1Char(',')).toLatin1() + '\n';
}

QByteArray line(const RecordingRow& row) {
    QByteArray out;
    out.reserve(256);
    out += QByteArray::number(row.time);
    out += ',';
    out += QByteArray::number(static_cast<int>(row.source));
    out += ',';
    out += quoted(row.aircraft);
    for (const FloatField& f : kFloatFields) {
        out += ',';
        out += number(row.telemetry.*(f.member));
    }
    out += row.telemetry.onGround ? ",1" : ",0";
    for (float force : row.force) {
        out += ',';
        out += number(force);
    }
    out += '\n';
    return out;
}

RecordingFile parse(QIODevice& device) {
    if (!device.isOpen() && !device.open(QIODevice::ReadOnly)) {
        return failure(QStringLiteral("The recording cannot be opened: %1").arg(device.errorString()));
    }

    // Reads one line of at most MaxLineBytes; false at the end of the data, with *tooLong set
    // when the line did not fit.
    int lineNumber = 0;
    qint64 consumed = 0;
    auto nextLine = [&device, &lineNumber, &consumed](QByteArray* line, bool* tooLong) {
        *tooLong = false;
        if (device.atEnd()) {
            return false;
        }
        *line = device.readLine(MaxLineBytes + 1);
        ++lineNumber;
        consumed += line->size();
        if (line->endsWith('\n')) {
            line->chop(1);
        } else if (line->size() > MaxLineBytes || !device.atEnd()) {
            *tooLong = true;
        }
        if (line->endsWith('\r')) {
            line->chop(1);
        }
        return true;
    };
    auto atLine = [&lineNumber](const QString& message) {
        return failure(QStringLiteral("Line %1: %2").arg(lineNumber).arg(message));
    };

    QByteArray text;
    bool tooLong = false;
    if (!nextLine(&text, &tooLong)) {
        return failure(QStringLiteral("The recording is empty."));
    }
    if (tooLong) {
        return atLine(QStringLiteral("the header is longer than %1 bytes.").arg(MaxLineBytes));
    }
    // A spreadsheet may have saved the file with a byte order mark.
    if (text.startsWith("\xEF\xBB\xBF")) {
        text.remove(0, 3);
    }
    QVector<QByteArray> fields;
    if (!splitFields(text, &fields)) {
        return atLine(QStringLiteral("the header has an unterminated quote."));
    }
    // Where each expected column sits in the file.
    const QStringList names = columns();
    int index[kColumnCount];
    QStringList missing;
    for (int c = 0; c < kColumnCount; ++c) {
        index[c] = -1;
        for (int i = 0; i < fields.size(); ++i) {
            if (QString::fromUtf8(fields[i].trimmed()) == names[c]) {
                index[c] = i;
                break;
            }
        }
        if (index[c] < 0) {
            missing << names[c];
        }
    }
    if (!missing.isEmpty()) {
        return failure(QStringLiteral("The recording lacks the column%1 %2.")
                           .arg(missing.size() == 1 ? QString() : QStringLiteral("s"))
                           .arg(missing.join(QStringLiteral(", "))));
    }
    const int width = fields.size();

    RecordingFile file;
    qint64 firstTime = -1;
    qint64 lastTime = 0;
    QString aircraft;
    while (nextLine(&text, &tooLong)) {
        if (tooLong) {
            return atLine(QStringLiteral("longer than %1 bytes.").arg(MaxLineBytes));
        }
        if (lineNumber > MaxRows + 1) {
            return failure(QStringLiteral("The recording has more than %1 rows.").arg(MaxRows));
        }
        if (consumed > MaxFileBytes) {
            return failure(
                QStringLiteral("The recording is larger than %1 MiB.").arg(MaxFileBytes / (1024 * 1024)));
        }
        if (text.trimmed().isEmpty()) {
            continue;
        }
        if (!splitFields(text, &fields)) {
            return atLine(QStringLiteral("unterminated quote."));
        }
        if (fields.size() != width) {
            return atLine(
                QStringLiteral("%1 fields where the header names %2.").arg(fields.size()).arg(width));
        }
        auto field = [&](int column) -> const QByteArray& { return fields[index[column]]; };
        auto badNumber = [&](int column) {
            return atLine(QStringLiteral("%1 is not a number: \"%2\".")
                              .arg(names[column], QString::fromUtf8(field(column).left(40))));
        };

        RecordingRow row;
        bool ok = false;
        const qint64 time = field(0).trimmed().toLongLong(&ok);
        if (!ok || time < 0) {
            return badNumber(0);
        }
        if (time < lastTime) {
            return atLine(QStringLiteral("time_ms goes back from %1 to %2.").arg(lastTime).arg(time));
        }
        lastTime = time;
        if (firstTime < 0) {
            firstTime = time;
        }
        row.time = time - firstTime;
        const int source = field(1).trimmed().toInt(&ok);
        if (!ok) {
            return badNumber(1);
        }
        if (source < Telemetry::TELEMETRY_SOURCE_MSFS || source >= Telemetry::SourceCount) {
            return atLine(QStringLiteral("source %1 is not a game.").arg(source));
        }
        row.source = static_cast<Telemetry::Source>(source);
        // Consecutive rows share one copy of the name.
        const QString name = QString::fromUtf8(field(2));
        if (name != aircraft) {
            aircraft = name;
        }
        row.aircraft = aircraft;
        for (int f = 0; f < kFloatCount; ++f) {
            if (!readFloat(field(3 + f), &(row.telemetry.*(kFloatFields[f].member)))) {
                return badNumber(3 + f);
            }
        }
        const QByteArray onGround = field(kOnGroundColumn).trimmed();
        if (onGround == "1" || onGround == "true") {
            row.telemetry.onGround = true;
        } else if (onGround == "0" || onGround == "false") {
            row.telemetry.onGround = false;
        } else {
            return atLine(QStringLiteral("onGround is neither 0 nor 1: \"%1\".")
                              .arg(QString::fromUtf8(onGround.left(40))));
        }
        for (int a = 0; a < 3; ++a) {
            if (!readFloat(field(kFirstForceColumn + a), &row.force[a])) {
                return badNumber(kFirstForceColumn + a);
            }
        }
        file.rows.append(row);
    }
    if (file.rows.isEmpty()) {
        return failure(QStringLiteral("The recording has no rows."));
    }
    return file;
}

RecordingFile parse(const QByteArray& text) {
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    return parse(buffer);
}

} // namespace RecordingCsv
