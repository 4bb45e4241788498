#pragma once
// Start-up of the desktop application: the default OpenGL surface, the message sink,
// the decimal separator, the main window and the command line.
//
//   morvane [FILE] [--screenshot OUT.png] [--ask-screenshot OUT.png] [--size WxH]
//   morvane --help | --version
//
// --screenshot: after FILE is loaded (its selection dialog accepted with its defaults)
// the main window is written to OUT.png and the program ends; messages go to stderr.
// It exits with 1 when FILE could not be opened.
// --ask-screenshot: the selection dialog is written to OUT.png before it is accepted.
#include <QString>
#include <QStringList>

class QApplication;

// The program's version as the about box shows it.
inline constexpr const char* VersionText = "Ver. 1.03.00g";
// The command line's usage text (for --help).
const char* StartUsage();

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
