#include "app/logfile.h"

#include <QFile>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct State {
    std::mutex mutex;
    std::condition_variable wake;    // the writer waits here for lines
    std::condition_variable written; // flush() waits here for the writer
    std::vector<QByteArray> queue;
    quint64 queued = 0; // lines handed to the writer since the start
    quint64 done = 0;   // of those, lines the writer has finished with
    quint64 dropped = 0;
    QString path;
    qint64 capBytes = LogFile::DefaultCapBytes;
    LogFile::Echo echo = LogFile::Echo::Terminal;
    LogFile::Writing writing = LogFile::Writing::Queued;
    QtMessageHandler previous = nullptr;
    bool installed = false;
    bool writerRunning = false;
    bool quit = false;
    std::thread writer;
};

// Never destroyed: a message may come from a thread that outlives main(), and a joinable
// thread destroyed at exit would end the program.
State& state() {
    static State* s = new State;
    return *s;
}

// A write that itself logs (it should not) must not come back into the file.
thread_local bool insideHandler = false;

const char* levelName(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    case QtFatalMsg:
        return "fatal";
    }
    return "?";
}

void writerLoop() {
    State& s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    for (;;) {
        s.wake.wait(lock, [&s] { return s.quit || !s.queue.empty(); });
        if (s.queue.empty()) {
            break; // quit, everything written
        }
        std::vector<QByteArray> lines;
        lines.swap(s.queue);
        const quint64 dropped = s.dropped;
        s.dropped = 0;
        const QString path = s.path;
        const qint64 cap = s.capBytes;
        lock.unlock();
        // Line by line, so that the file moves aside as soon as it passes the cap, however many
        // lines came at once.
        for (const QByteArray& line : lines) {
            LogFile::append(path, line, cap);
        }
        if (dropped > 0) {
            LogFile::append(
                path,
                LogFile::formatLine(
                    QtWarningMsg, "trennal.app",
                    QStringLiteral("%1 lines were dropped: the log file could not keep up").arg(dropped),
                    QDateTime::currentDateTime()),
                cap);
        }
        lock.lock();
        s.done += lines.size();
        s.written.notify_all();
    }
    s.writerRunning = false;
    s.written.notify_all();
}

void handler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    State& s = state();
    QtMessageHandler previous;
    LogFile::Echo echo;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        previous = s.previous;
        echo = s.echo;
    }
    if (!insideHandler) {
        insideHandler = true;
        const QByteArray line =
            LogFile::formatLine(type, context.category, message, QDateTime::currentDateTime());
        std::unique_lock<std::mutex> lock(s.mutex);
        if (s.installed && s.writing == LogFile::Writing::Queued && s.writerRunning && type != QtFatalMsg) {
            if (s.queue.size() < size_t(LogFile::MaxQueuedLines)) {
                s.queue.push_back(line);
                ++s.queued;
                s.wake.notify_one();
            } else {
                ++s.dropped;
            }
        } else if (s.installed) {
            // The guardian, or a message that ends the program: written before this returns.
            const QString path = s.path;
            const qint64 cap = s.capBytes;
            lock.unlock();
            LogFile::append(path, line, cap);
        }
        insideHandler = false;
    }
    if (echo == LogFile::Echo::Terminal) {
        if (previous) {
            previous(type, context, message);
        } else {
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
        }
    }
}

void flushAtExit() {
    LogFile::flush();
}

} // namespace

const QString LogFile::FileName = QStringLiteral("grovik-trennal.log");

void LogFile::install(const QString& path, Echo echo, Writing writing, qint64 capBytes) {
    State& s = state();
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.path = path;
        s.echo = echo;
        s.writing = writing;
        s.capBytes = capBytes;
        if (writing == Writing::Queued && !s.writerRunning) {
            if (s.writer.joinable()) {
                s.writer.join();
            }
            s.quit = false;
            s.writerRunning = true;
            s.writer = std::thread(writerLoop);
        }
        first = !s.installed;
        s.installed = true;
    }
    if (first) {
        // Outside the lock: a message on another thread may be waiting for it in the handler.
        QtMessageHandler previous = qInstallMessageHandler(handler);
        std::lock_guard<std::mutex> lock(s.mutex);
        s.previous = previous;
    }
    static const bool registered = [] { return std::atexit(flushAtExit) == 0; }();
    Q_UNUSED(registered);
}

void LogFile::uninstall() {
    State& s = state();
    QtMessageHandler previous;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.installed) {
            return;
        }
        previous = s.previous;
    }
    qInstallMessageHandler(previous);
    std::thread writer;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.installed = false;
        s.quit = true;
        s.wake.notify_one();
        writer.swap(s.writer);
    }
    if (writer.joinable()) {
        writer.join();
    }
    std::lock_guard<std::mutex> lock(s.mutex);
    s.path.clear();
}

void LogFile::flush() {
    State& s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    const quint64 target = s.queued;
    s.written.wait(lock, [&s, target] { return s.done >= target || !s.writerRunning; });
}

QString LogFile::path() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.installed ? s.path : QString();
}

QString LogFile::previousPath(const QString& path) {
    return path.isEmpty() ? QString() : path + QStringLiteral(".1");
}

QByteArray LogFile::formatLine(QtMsgType type, const char* category, const QString& message,
                               const QDateTime& when) {
    QString text = message;
    while (text.endsWith(QLatin1Char('\n'))) {
        text.chop(1);
    }
    if (text.size() > MaxMessageChars) {
        text.truncate(MaxMessageChars);
        text += QStringLiteral(" [cut]");
    }
    QString clean;
    clean.reserve(text.size());
    for (const QChar c : std::as_const(text)) {
        if (c == QLatin1Char('\n')) {
            clean += QStringLiteral("\n    ");
        } else if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
                   c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph) {
            clean += QLatin1Char('?');
        } else {
            clean += c;
        }
    }
    return (when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + QLatin1Char(' ') +
            QLatin1String(levelName(type)) + QLatin1Char(' ') +
            QLatin1String(category ? category : "default") + QStringLiteral(": ") + clean + QLatin1Char('\n'))
        .toUtf8();
}

bool LogFile::append(const QString& path, const QByteArray& bytes, qint64 capBytes) {
    if (path.isEmpty()) {
        return false;
    }
    QFile file(path);
    // Appending: the guardian's lines and the program's land whole, in the order written.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        return false;
    }
    const bool ok = file.write(bytes) == bytes.size();
    const qint64 size = file.size();
    file.close();
    if (size > capBytes) {
        const QString previous = previousPath(path);
        QFile::remove(previous);
        QFile::rename(path, previous);
    }
    return ok;
}
