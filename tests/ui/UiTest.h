// The toolkit's application on the offscreen platform, one for the test process, and
// a way to answer the modal window that a call is about to show.
#pragma once
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>

inline QApplication& OffscreenApplication() {
  static QApplication* application = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int count = 1;
    static char name[] = "ui_tests";
    static char* arguments[] = {name, nullptr};
    auto* made = new QApplication(count, arguments);
    QApplication::setQuitOnLastWindowClosed(false);
    return made;
  }();
  return *application;
}

// Calls answer with the modal widget once one shows (the call that shows it runs a
// loop of its own, in which the timer fires).
inline void WhenModalShows(std::function<void(QWidget*)> answer) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, answer] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    answer(modal);
  });
  timer->start();
}

// Runs the toolkit's events until condition holds (at most limit milliseconds).
inline bool ProcessUntil(const std::function<bool()>& condition, int limit = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!condition() && clock.elapsed() < limit) QApplication::processEvents(QEventLoop::AllEvents, 10);
  return condition();
}
