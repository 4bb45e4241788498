#pragma once
// The application's message sink: every model message becomes a modal QMessageBox.
// Model text is Latin-1; it is converted here, at the boundary to Qt.
#include <QPointer>
#include <QWidget>

#include "core/Messages.h"

class TQtMessageSink : public TMessageSink {
public:
    // Placed boxes stand at (mainWindow left + 200, screen height / 2 - 100).
    explicit TQtMessageSink(QWidget* mainWindow = nullptr) : MainWindow(mainWindow) {}
    TMsgResult Show(const TMessage& msg) override;
    void Beep() override;

    QPointer<QWidget> MainWindow;
};

// Latin-1 model text to Qt and back; line breaks of the model (CR, CR LF) become "\n".
QString Latin1ToQt(const std::string& text);
std::string QtToLatin1(const QString& text);
// File names: the bytes of the file system on one side, QString on the other.
QString PathToQt(const std::string& path);
std::string QtToPath(const QString& path);
// A file name for display: the file system's bytes decoded as the platform does
// (UTF-8); bytes that are no valid UTF-8 show as Latin-1 rather than as blanks.
QString NameToQt(const std::string& name);
// A window title for display: the part up to and including the file name (a path or
// a name, the bytes of the file system) decoded as a name, the rest (a channel caption
// read from a file, the user's words) as Latin-1 text.
QString TitleToQt(const std::string& title, const std::string& fileName);
// A message text (or title) for display: the quoted file names (TMessage::Names)
// decoded as names, the rest as Latin-1.
QString MessageToQt(const std::string& text, const std::vector<std::string>& names);
// The reverse, for a title the user typed: where it still holds the file name as
// shown, that part goes back to the name's own bytes.
std::string QtToTitle(const QString& text, const std::string& fileName);
