#pragma once

#include "app/logfile.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

// The program's log, written into a file of its own for the life of the object, as main()
// writes it into the data directory.
class LogCapture {
public:
    LogCapture() { LogFile::install(dir_.filePath(LogFile::FileName)); }
    ~LogCapture() { LogFile::uninstall(); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The lines logged so far that contain `text`.
    QStringList lines(const QString& text) const {
        LogFile::flush();
        QFile file(dir_.filePath(LogFile::FileName));
        QStringList found;
        if (file.open(QIODevice::ReadOnly)) {
            for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
                if (line.contains(text)) {
                    found << line;
                }
            }
        }
        return found;
    }

private:
    QTemporaryDir dir_;
};
