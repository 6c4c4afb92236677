#pragma once

#include <QDialog>
#include <QString>

// Help > About: the program's name and version, the Qt and hidapi versions it runs with, the
// scheduling policy the control loop got and the directory its profiles are read from, as
// selectable text.
//
// Threading: GUI thread.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);

    // The text the dialog shows, one fact a line. The profile directory is resolved against
    // the working directory at the time of the call, as the profile store does.
    static QString text();
};
