#pragma once
// Start-up of the desktop application: the default OpenGL surface, the message sink,
// the decimal separator, the main window and the command line.
//
//   morvane [FILE] [--screenshot OUT.png] [--ask-screenshot OUT.png] [--size WxH]
//
// --screenshot: after FILE is loaded (its selection dialog accepted with its defaults)
// the main window is written to OUT.png and the program ends; messages go to stderr.
// --ask-screenshot: the selection dialog is written to OUT.png before it is accepted.
#include <QString>
#include <QStringList>

class QApplication;

// Sets the default QSurfaceFormat (compatibility profile, depth 24); call before the
// QApplication exists.
void SetDefaultSurfaceFormat();

struct TStartOptions {
    QStringList Files;        // positional arguments
    QString Screenshot;       // --screenshot
    QString AskScreenshot;    // --ask-screenshot
    int Width = 0, Height = 0;  // --size
    QString Error;            // a usage error
};
TStartOptions ParseStartOptions(const QStringList& arguments);  // program name excluded

// The decimal separator of the user's locale as one Latin-1 character ('.' otherwise).
char LocaleDecimalSeparator();

// Runs the application; returns the exit code.
int RunMorvane(QApplication& app);
