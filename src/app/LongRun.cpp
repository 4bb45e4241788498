#include "app/LongRun.h"

#include <QApplication>

#include <algorithm>

int TLongRun::ShowAfterMs = 250;

namespace {
constexpr int Scale = 1000;  // the bar runs 0..Scale
}

TLongRun::TLongRun(QWidget* window, QProgressBar* bar, const QString& label, std::function<bool()> wanted)
    : window_(window), bar_(bar), label_(label), wanted_(std::move(wanted)) {
    clock_.start();
}

TLongRun::~TLongRun() {
    if (!shown_) return;
    QApplication::restoreOverrideCursor();
    if (bar_) bar_->hide();
    delete dialog_.data();
}

bool TLongRun::GoOn() const {
    return window_ && (!dialog_ || !dialog_->wasCanceled()) && (!wanted_ || wanted_());
}

bool TLongRun::operator()(int64_t done, int64_t total) {
    if (!GoOn()) return false;
    // shown once the run has gone on for a moment and is not about to end: the time
    // still to go judged from the time so far
    const qint64 elapsed = clock_.elapsed();
    const bool ending = done >= total || (done > 0 && elapsed * (total - done) / done < ShowAfterMs);
    if (!shown_ && elapsed >= ShowAfterMs && !ending) {
        shown_ = true;
        // busy, but the controls that can stop the run still take clicks
        QApplication::setOverrideCursor(Qt::BusyCursor);
        if (bar_) {
            bar_->setRange(0, Scale);
            bar_->show();
        } else {
            auto* d = new QProgressDialog(label_, QStringLiteral("Cancel"), 0, Scale, window_);
            d->setObjectName(QStringLiteral("RunProgress"));
            d->setWindowTitle(window_->windowTitle());
            d->setWindowModality(Qt::WindowModal);
            d->setAutoReset(false);
            d->setAutoClose(false);
            // a bar of its own: the dialog's setValue would run the event loop itself,
            // where the window (and the dialog with it) may go away
            auto* bar = new QProgressBar(d);
            bar->setRange(0, Scale);
            d->setBar(bar);
            d->adjustSize();
            d->move(window_->mapToGlobal(window_->rect().center()) - QPoint(d->width() / 2, d->height() / 2));
            d->show();
            dialog_ = d;
            bar_ = bar;
        }
    }
    if (bar_ && shown_)
        bar_->setValue(total > 0 ? static_cast<int>(std::clamp<int64_t>(done * Scale / total, 0, Scale)) : 0);
    // before anything shows, no user input: nothing could stop the run yet, and a click
    // must not start another one inside this
    QApplication::processEvents(shown_ ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    return GoOn();
}
