#include "app/Startup.h"

#include <QApplication>
#include <QFileInfo>
#include <QLocale>
#include <QSurfaceFormat>
#include <QTimer>

#include <cstdio>

#include "app/AskUnit.h"
#include "app/Icons.h"
#include "app/MainForm.h"
#include "app/QtMessageSink.h"
#include "core/Messages.h"
#include "core/Numbers.h"

const char* StartUsage() {
    return "Usage: morvane [FILE] [options]\n"
           "Views, processes and analyses height images of scanning probe microscopes.\n"
           "\n"
           "  FILE                    a measurement file to open: .txt (native), .img/.IMG (Burleigh),\n"
           "                          .tfp/.2fp/.3fp (TopoMetrix), .par (Omicron) or .bmp\n"
           "  --screenshot OUT.png    open FILE (its channels with their defaults), write the main\n"
           "                          window to OUT.png and end; exit status 1 when FILE did not open\n"
           "  --ask-screenshot OUT.png  write the channel selection dialog to OUT.png\n"
           "  --size WxH              size of the main window, for example 1024x768\n"
           "  --help                  this text\n"
           "  --version               the program's version\n"
           "\n"
           "The batch tool morvane-cli reads and writes the same files without a window.\n";
}

void SetDefaultSurfaceFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
}

TStartOptions ParseStartOptions(const QStringList& arguments) {
    TStartOptions o;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        auto value = [&](QString& out) {
            if (i + 1 >= arguments.size()) {
                o.Error = a + QStringLiteral(" needs a value");
                return;
            }
            out = arguments[++i];
        };
        if (a == QLatin1String("--screenshot")) {
            value(o.Screenshot);
        } else if (a == QLatin1String("--ask-screenshot")) {
            value(o.AskScreenshot);
        } else if (a == QLatin1String("--size")) {
            QString s;
            value(s);
            const QStringList wh = s.split(QLatin1Char('x'));
            bool okW = false, okH = false;
            if (wh.size() == 2) {
                o.Width = wh[0].toInt(&okW);
                o.Height = wh[1].toInt(&okH);
            }
            if (!okW || !okH || o.Width < 100 || o.Height < 100 || o.Width > 10000 || o.Height > 10000) {
                o.Error = QStringLiteral("--size wants WIDTHxHEIGHT, for example 1024x768");
                o.Width = o.Height = 0;
            }
        } else {
            o.Files << a;
        }
    }
    return o;
}

char LocaleDecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    if (point.size() == 1 && point[0].unicode() > 32 && point[0].unicode() < 256)
        return static_cast<char>(point[0].unicode());
    return '.';
}

namespace {

bool SaveGrab(QWidget* w, const QString& file) {
    const QPixmap pm = w->grab();
    if (pm.isNull() || !pm.save(file, "PNG")) {
        std::fprintf(stderr, "morvane: cannot write %s\n", qPrintable(file));
        return false;
    }
    return true;
}

}  // namespace

int RunMorvane(QApplication& app) {
    QApplication::setApplicationName(QStringLiteral("morvane"));
    QApplication::setWindowIcon(AppIcon());
    SetDecimalSeparator(LocaleDecimalSeparator());

    const TStartOptions options = ParseStartOptions(app.arguments().mid(1));
    if (!options.Error.isEmpty()) {
        std::fprintf(stderr, "morvane: %s\n", qPrintable(options.Error));
        return 2;
    }
    const bool screenshot = !options.Screenshot.isEmpty() || !options.AskScreenshot.isEmpty();

    TQtMessageSink boxes;
    TStderrSink stderrSink;
    TScopedMessageSink sink(screenshot ? static_cast<TMessageSink*>(&stderrSink) : &boxes);

    TMainForm form;
    boxes.MainWindow = &form;
    if (screenshot) {
        form.PersistGeometry = false;
        form.resize(options.Width > 0 ? options.Width : 1024, options.Height > 0 ? options.Height : 768);
    } else if (options.Width > 0) {
        form.resize(options.Width, options.Height);
    }
    form.show();
    form.CheckStartParameter(options.Files);
    if (!screenshot) return app.exec();

    // screenshot run: accept the selection dialog with its defaults, then grab
    int result = 0;
    QApplication::processEvents();
    if (auto* ask = form.findChild<TAskForm*>()) {
        if (!options.AskScreenshot.isEmpty()) {
            QApplication::processEvents();
            if (!SaveGrab(ask, options.AskScreenshot)) result = 1;
        }
        ask->LoadButtonClick();
    }
    // nothing opened from the file named: the screenshot would show an empty frame
    if (!options.Files.isEmpty() && form.WindowCount() == 0) result = 1;
    if (!options.Screenshot.isEmpty()) {
        QTimer::singleShot(300, &form, [&] {
            if (!SaveGrab(&form, options.Screenshot)) result = 1;
            form.close();
            app.quit();
        });
        app.exec();
    } else {
        form.close();
    }
    return result;
}
