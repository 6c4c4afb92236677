#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QPlainTextEdit;

// Help > Show log: the program's log as read-only text, with a "Copy to clipboard" button, so
// that a pilot can paste it into a bug report. Shows the files it is given, oldest first (the
// log's earlier part and the file being written), as they were when the dialog opened.
//
// Threading: GUI thread.
class LogDialog : public QDialog {
    Q_OBJECT

public:
    explicit LogDialog(const QStringList& files, QWidget* parent = nullptr);

    // Longer files show only their last this many bytes.
    static constexpr qint64 MaxBytesPerFile = 4 * 1024 * 1024;

    // The files' text one after the other; a line that says so when there is none.
    static QString text(const QStringList& files);
    QString shownText() const;

private:
    QPlainTextEdit* view_;
};
