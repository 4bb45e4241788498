#pragma once
// A long model run started by a window (the FFT of a large image, the cross
// correlation, the arc average): its progress callback keeps the window painting,
// shows how far the run is once it has taken longer than a moment and still has a
// while to go (so short runs show nothing), and tells the run to stop once the user
// cancels or the window goes away.
//
// With a progress bar of the window, that bar shows the progress and user input goes
// on reaching the window, whose own "Cancel" ends the run through `wanted`. Without
// one, a small window-modal dialog with a bar and "Cancel" appears after the delay;
// until then only painting and timers run, no user input.
#include <QElapsedTimer>
#include <QPointer>
#include <QProgressBar>
#include <QProgressDialog>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

class TLongRun {
public:
    // How long a run goes on before its progress shows, and how much longer it must
    // still be expected to take then (milliseconds).
    static int ShowAfterMs;

    // window: the window the run belongs to; bar: its progress bar, or null for the
    // dialog; label: the dialog's text; wanted: false once the window no longer wants
    // the run (closing, another mode).
    TLongRun(QWidget* window, QProgressBar* bar, const QString& label, std::function<bool()> wanted = {});
    ~TLongRun();
    TLongRun(const TLongRun&) = delete;
    TLongRun& operator=(const TLongRun&) = delete;

    // The run's callback: true to go on.
    bool operator()(int64_t done, int64_t total);
    // The dialog, once it shows (for tests).
    QProgressDialog* Dialog() const { return dialog_; }

private:
    bool GoOn() const;

    QPointer<QWidget> window_;
    QPointer<QProgressBar> bar_;
    QPointer<QProgressDialog> dialog_;
    QString label_;
    std::function<bool()> wanted_;
    QElapsedTimer clock_;
    bool shown_ = false;
};
