#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QtGlobal>

// The program's log: the message handler main() installs. Every message still reaches the
// terminal as before (through the handler that was there), and is also appended to a file in
// the data directory that a pilot can send with a bug report (Help > Show log). The file is
// capped: once it passes the cap it becomes "<file>.1", replacing an older one, and a new file
// begins, so the log never holds more than about twice the cap.
//
// The guardian process (the same executable) appends its own lines to the same file, one
// open-append-close per line, so the two processes never overwrite each other.
//
// Threading: install(), uninstall() and flush() on the main thread; messages come from any
// thread. The handler never waits on the disk: lines queue for a writer thread of its own
// (Queued), except in the single-threaded guardian (Direct). A queue that the disk cannot
// empty drops lines rather than grow, and says how many it dropped.
class LogFile {
public:
    enum class Echo { Terminal, FileOnly };
    enum class Writing { Queued, Direct };

    static constexpr qint64 DefaultCapBytes = 1024 * 1024;
    // Longer messages are cut, so that one cannot push the history out of the file.
    static constexpr int MaxMessageChars = 2000;
    // Lines waiting for the writer; more are dropped and counted.
    static constexpr int MaxQueuedLines = 2000;
    static const QString FileName; // "grovik-trennal.log"

    // From now on every message also goes to `path`. Installing again changes the file.
    static void install(const QString& path, Echo echo = Echo::Terminal, Writing writing = Writing::Queued,
                        qint64 capBytes = DefaultCapBytes);
    // Writes what is queued and puts back the handler that was there before install().
    static void uninstall();
    // Returns once every line logged before the call is in the file.
    static void flush();
    // The file being written; empty while no log is installed.
    static QString path();
    // Where the file goes once it passes the cap.
    static QString previousPath(const QString& path);

    // One line of the file: local time, level, category and the message, which is cut to
    // MaxMessageChars; control characters (a game's aircraft name may hold any) become '?',
    // and a message of several lines continues on indented lines.
    static QByteArray formatLine(QtMsgType type, const char* category, const QString& message,
                                 const QDateTime& when);
    // Appends bytes to the file at `path`, then moves it to previousPath() once it holds more
    // than `capBytes`. False when the file cannot be written.
    static bool append(const QString& path, const QByteArray& bytes, qint64 capBytes);
};
