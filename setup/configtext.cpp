#include "setup/configtext.h"

ConfigText::ConfigText(const QString& text) {
    const int crlf = int(text.count(QStringLiteral("\r\n")));
    const int lf = int(text.count(QLatin1Char('\n')));
    eol_ = crlf > 0 && crlf * 2 >= lf ? QStringLiteral("\r\n") : QStringLiteral("\n");
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0) {
            lines_.append(text.mid(start));
            break;
        }
        lines_.append(text.mid(start, end + 1 - start));
        start = end + 1;
    }
}

QString ConfigText::line(int i) const {
    QString l = lines_.at(i);
    if (l.endsWith(QLatin1Char('\n'))) {
        l.chop(1);
    }
    if (l.endsWith(QLatin1Char('\r'))) {
        l.chop(1);
    }
    return l;
}

void ConfigText::replace(int i, const QString& content) {
    const QString& old = lines_.at(i);
    const QString end = old.endsWith(QStringLiteral("\r\n")) ? QStringLiteral("\r\n")
                        : old.endsWith(QLatin1Char('\n'))    ? QStringLiteral("\n")
                                                             : QString();
    lines_[i] = content + end;
}

void ConfigText::insert(int i, const QString& content) {
    // The line before an insertion at the end may lack its line end.
    if (i > 0 && i == size() && !lines_.at(i - 1).endsWith(QLatin1Char('\n'))) {
        lines_[i - 1] += eol_;
    }
    lines_.insert(i, content + eol_);
}

QString ConfigText::toString() const {
    return lines_.join(QString());
}
