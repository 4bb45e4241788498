#pragma once
// Shared helpers of the window tests: a private settings file per test, scans in the
// native format written on the fly, the open command driven through the menu and the
// selection dialog, and the message sink that records instead of showing boxes.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QToolButton>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/AskUnit.h"
#include "app/Childwin.h"
#include "app/FilterForm.h"
#include "app/MainForm.h"
#include "app/QtMessageSink.h"
#include "core/Messages.h"
#include "core/Numbers.h"
#include "core/Settings.h"

namespace guitest {

// One channel of a scan written by WriteScan.
struct TChannel {
    std::string File;     // data file name, ".int" or ".sin"
    std::string Caption;  // empty: no Caption line
    std::string Unit = "nm";
    double Scale = 1.0;
    std::vector<float> Values;  // rows x cols, sample row 0 first
    bool Write = true;          // false: the data file is missing
};

inline void PutLE32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

inline void WriteBytes(const QString& path, const std::string& bytes) {
    std::ofstream f(QFile::encodeName(path).toStdString(), std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A native scan of version 1.12 in dir: name.txt with one block per channel and the
// data files (.int: the integers n with value = n * Scale, top row first; .sin: floats,
// bottom row first).
inline QString WriteScan(const QString& dir, const QString& name, int cols, int rows,
                         double xRange, const std::vector<TChannel>& channels) {
    std::string text = ";test scan\r\nVersion : 1.12\r\n";
    text += "XScanRange : " + FormatShortest(xRange) + "\r\nYScanRange : " + FormatShortest(xRange) +
            "\r\nXPhysUnit : nm\r\nYPhysUnit : nm\r\n";
    text += "xPixel : " + std::to_string(cols) + "\r\nyPixel : " + std::to_string(rows) + "\r\n\r\n";
    for (const TChannel& ch : channels) {
        text += "FileDescBegin\r\nFileName : " + ch.File + "\r\n";
        if (!ch.Caption.empty()) text += "Caption  : " + ch.Caption + "\r\n";
        text += "Scale    : " + FormatShortest(ch.Scale) + "\r\nPhysUnit : " + ch.Unit +
                "\r\nFileDescEnd\r\n\r\n";
        if (!ch.Write) continue;
        std::string data;
        const bool isInt = ch.File.size() > 4 && ch.File.substr(ch.File.size() - 4) == ".int";
        for (int k = 0; k < rows; ++k) {
            const int r = isInt ? rows - 1 - k : k;
            for (int c = 0; c < cols; ++c) {
                const float v = ch.Values[static_cast<size_t>(r * cols + c)];
                uint32_t bits;
                if (isInt) {
                    bits = static_cast<uint32_t>(static_cast<int32_t>(std::lround(v / ch.Scale)));
                } else {
                    const float x = static_cast<float>(v / ch.Scale);
                    std::memcpy(&bits, &x, 4);
                }
                PutLE32(data, bits);
            }
        }
        WriteBytes(dir + QLatin1Char('/') + QString::fromStdString(ch.File), data);
    }
    const QString path = dir + QLatin1Char('/') + name;
    WriteBytes(path, text);
    return path;
}

// A ramp: value = row * cols + col, times step, plus base.
inline std::vector<float> Ramp(int cols, int rows, float step = 1.0f, float base = 0.0f) {
    std::vector<float> v(static_cast<size_t>(cols * rows));
    for (int i = 0; i < cols * rows; ++i) v[static_cast<size_t>(i)] = base + step * static_cast<float>(i);
    return v;
}

// Every test gets its own settings file (MORVANE_INI), a recording message sink, and
// Discard for the question before changed images are closed.
class TFixture {
public:
    TFixture() : sink_(&Messages) {
        ini_ = dir_.path() + QStringLiteral("/morvane.ini");
        qputenv("MORVANE_INI", QFile::encodeName(ini_));
        SetDecimalSeparator('.');
        CloseQuestionHook = [](const QString&) { return TCloseAnswer::Discard; };
    }
    ~TFixture() { CloseQuestionHook = nullptr; }
    QString Dir() const { return dir_.path(); }
    QString Ini() const { return ini_; }
    // A fresh reading of the settings file as written so far.
    std::unique_ptr<TSettings> ReadSettings() const {
        return std::make_unique<TSettings>(QFile::encodeName(ini_).toStdString());
    }
    TRecordingSink Messages;

private:
    QTemporaryDir dir_;
    QString ini_;
    TScopedMessageSink sink_;
};

inline TAskForm* FindAskForm(TMainForm& form) {
    for (TAskForm* a : form.findChildren<TAskForm*>())
        if (!a->Finished()) return a;
    return nullptr;
}

// File > Open with the open dialog answering path.
inline void OpenThroughMenu(TMainForm& form, const QString& path, int filterIndex = 1) {
    form.Hooks.Open = [path, filterIndex](QString& file, int& index) {
        file = path;
        index = filterIndex;
        return true;
    };
    form.FileOpenItem->trigger();
    form.Hooks.Open = nullptr;
}

// File > Open, then Load in the selection dialog with its preset choice.
inline bool OpenAndLoad(TMainForm& form, const QString& path) {
    OpenThroughMenu(form, path);
    TAskForm* ask = FindAskForm(form);
    if (!ask) return false;
    QTest::mouseClick(ask->LoadButton, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return true;
}

inline std::vector<TMDIChild*> Windows(const TMainForm& form) {
    std::vector<TMDIChild*> list;
    for (const auto& w : form.ImageWindows)
        if (w) list.push_back(w.data());
    return list;
}

inline QString Title(const TMDIChild* w) { return Latin1ToQt(w->Title); }

// The title a window's frame shows: Qt's "[*]" mark as "*" while modified, "[*][*]" as "[*]".
inline QString ShownTitle(const QWidget* w) {
    QString t = w->windowTitle();
    t.replace(QLatin1String("[*][*]"), QLatin1String("\x01"));
    t.replace(QLatin1String("[*]"), w->isWindowModified() ? QStringLiteral("*") : QString());
    return t.replace(QLatin1Char('\x01'), QLatin1String("[*]"));
}

inline void SettleDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// The samples of a record, row 0 first.
inline std::vector<float> Samples(const TQTVPicture& p) {
    const float* b = p.Data.Block();
    return std::vector<float>(b, b + static_cast<size_t>(p.Rows) * p.Cols);
}

// The processing dialog a menu item opens (the one that was not open before).
template <class TForm>
TForm* OpenChildForm(TMainForm& form, QAction* item) {
    const auto before = form.findChildren<TForm*>();
    item->trigger();
    QCoreApplication::processEvents();
    for (TForm* f : form.findChildren<TForm*>())
        if (!before.contains(f)) return f;
    return nullptr;
}

// The processing dialog a menu item opens.
inline TFilterForm* OpenForm(TMainForm& form, QAction* item) { return OpenChildForm<TFilterForm>(form, item); }

// The preview position of a processing dialog that shows picture pixel (x, y).
inline QPoint PreviewAt(TFilterForm* f, int x, int y) {
    return QPoint(static_cast<int>(std::lround(static_cast<double>(x) * f->Image2->width() / f->Working.Cols)),
                  static_cast<int>(std::lround(static_cast<double>(y) * f->Image2->height() / f->Working.Rows)));
}

// A mouse event at pos of w, sent directly.
inline void Mouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// Writes a picture of w to $MORVANE_SHOTS/name when that folder is set (to look at).
inline void Shot(QWidget* w, const char* name) {
    const QByteArray dir = qgetenv("MORVANE_SHOTS");
    if (dir.isEmpty()) return;
    QCoreApplication::processEvents();
    w->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(name));
}

// Writes what the X server shows (import -window root) to $MORVANE_SHOTS/name when that
// folder is set: the screen as a user sees it, not an off-screen rendering.
inline void ScreenShot(const char* name) {
    const QByteArray dir = qgetenv("MORVANE_SHOTS");
    if (dir.isEmpty()) return;
    QTest::qWait(300);
    QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                  QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(name)});
}

// Makes w the active window so that its shortcuts take keys. Without a window manager
// the X server may still be settling the focus after a closed dialog: ask again a few times.
inline bool Activate(QWidget& w) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        w.activateWindow();
        if (QTest::qWaitForWindowActive(&w, 1000)) return true;
    }
    return false;
}

// The demo scan of the build (two channels, 512 x 512).
inline QString DemoFile() { return QStringLiteral(MORVANE_DEMO_DIR "/demo.txt"); }

}  // namespace guitest
