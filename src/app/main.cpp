// morvane: the desktop application.
#include <QApplication>

#include <cstdio>
#include <exception>
#include <string>

#include "app/Startup.h"
#include "core/Messages.h"

namespace {

// The last safety net: a failure that escapes a window's handler is reported, and the
// application goes on.
class TApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            ShowFailure(e);
        } catch (...) {
            ShowMessage("Unknown error", TMsgKind::Error);
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    // answered without a window (and without a display)
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(StartUsage(), stdout);
            return 0;
        }
        if (a == "--version") {
            std::puts(VersionText);
            return 0;
        }
    }
    SetDefaultSurfaceFormat();
    TApplication app(argc, argv);
    return RunMorvane(app);
}
