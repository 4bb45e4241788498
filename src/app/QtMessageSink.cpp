#include "app/QtMessageSink.h"

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QStringDecoder>

QString Latin1ToQt(const std::string& text) {
    QString s = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

std::string QtToLatin1(const QString& text) {
    QByteArray b = text.toLatin1();
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

QString PathToQt(const std::string& path) {
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

std::string QtToPath(const QString& path) {
    QByteArray b = QFile::encodeName(path);
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

QString NameToQt(const std::string& name) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString s = utf8(QByteArrayView(name.data(), static_cast<qsizetype>(name.size())));
    if (!utf8.hasError()) return s;
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

namespace {
// Where the file name stands in the title (npos when it is not part of it).
size_t NameAt(const std::string& title, const std::string& fileName) {
    return fileName.empty() ? std::string::npos : title.find(fileName);
}
}  // namespace

QString TitleToQt(const std::string& title, const std::string& fileName) {
    const size_t at = NameAt(title, fileName);
    if (at == std::string::npos) return Latin1ToQt(title);
    // before the name: its folder (Omicron channels) or the user's words
    const size_t end = at + fileName.size();
    return NameToQt(title.substr(0, at)) + NameToQt(fileName) + Latin1ToQt(title.substr(end));
}

std::string QtToTitle(const QString& text, const std::string& fileName) {
    const QString shown = NameToQt(fileName);
    const qsizetype at = shown.isEmpty() ? -1 : text.indexOf(shown);
    if (at < 0) return QtToLatin1(text);
    return QtToLatin1(text.left(at)) + fileName + QtToLatin1(text.mid(at + shown.size()));
}

QString MessageToQt(const std::string& text, const std::vector<std::string>& names) {
    QString s;
    for (const TMessagePart& part : MessageParts(text, names))
        s += part.IsName ? NameToQt(part.Bytes) : Latin1ToQt(part.Bytes);
    return s;
}

TMsgResult TQtMessageSink::Show(const TMessage& msg) {
    QMessageBox box(MainWindow ? MainWindow.data() : QApplication::activeWindow());
    switch (msg.Kind) {
    case TMsgKind::Information: box.setIcon(QMessageBox::Information); break;
    case TMsgKind::Error: box.setIcon(QMessageBox::Critical); break;
    case TMsgKind::Warning: box.setIcon(QMessageBox::Warning); break;
    case TMsgKind::Confirmation: box.setIcon(QMessageBox::Question); break;
    }
    box.setWindowTitle(msg.Title.empty() ? QStringLiteral("morvane") : MessageToQt(msg.Title, msg.Names));
    // texts may quote file contents: never interpret them as markup
    box.setTextFormat(Qt::PlainText);
    box.setText(MessageToQt(msg.Text, msg.Names));
    switch (msg.Buttons) {
    case TMsgButtons::OK: box.setStandardButtons(QMessageBox::Ok); break;
    case TMsgButtons::OKCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case TMsgButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case TMsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    if (msg.Placed) {
        int left = MainWindow ? MainWindow->frameGeometry().left() : 0;
        QScreen* screen = MainWindow && MainWindow->screen() ? MainWindow->screen()
                                                             : QGuiApplication::primaryScreen();
        int h = screen ? screen->geometry().height() : 0;
        box.move(left + 200, h / 2 - 100);
    }
    // a box shown during a long run gets the ordinary cursor
    bool waiting = QApplication::overrideCursor() != nullptr;
    if (waiting) QApplication::setOverrideCursor(Qt::ArrowCursor);
    int r = box.exec();
    if (waiting) QApplication::restoreOverrideCursor();
    switch (r) {
    case QMessageBox::Cancel: return TMsgResult::Cancel;
    case QMessageBox::Yes: return TMsgResult::Yes;
    case QMessageBox::No: return TMsgResult::No;
    case QMessageBox::Ok: return TMsgResult::OK;
    default:
        // closed by the window's close box: the safe answer of the button set
        return msg.Buttons == TMsgButtons::OK ? TMsgResult::OK
               : msg.Buttons == TMsgButtons::YesNo ? TMsgResult::No
                                                   : TMsgResult::Cancel;
    }
}

void TQtMessageSink::Beep() { QApplication::beep(); }
