#pragma once

#include <QString>
#include <QStringList>

// A text file as a list of lines that are changed in place, so that every line the set-up does
// not touch is written back byte for byte: its own end (LF or CR LF), its indentation, its
// comments. New lines take the file's end-of-line style. The text comes decoded in the file's
// own encoding (see TextFile), and goes back in it.
//
// Threading: a plain value; no shared state.
class ConfigText {
public:
    explicit ConfigText(const QString& text);

    int size() const { return int(lines_.size()); }
    // Line i without its line end.
    QString line(int i) const;
    void replace(int i, const QString& content);
    // Inserts before line i (size(): at the end).
    void insert(int i, const QString& content);
    QString toString() const;

private:
    QStringList lines_; // each with its own line end; the last one may lack it
    QString eol_;
};
