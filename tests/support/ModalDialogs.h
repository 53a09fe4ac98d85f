#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <functional>
#include <memory>

// Acts on a modal dialog from a test: act runs on the next modal dialog of type D (its own class,
// or a base such as QDialog) once its event loop runs, within about five seconds, else the test
// fails. Call it before the call that runs the dialog.
template <class D>
void WhenModalShown(std::function<void(D*)> act) {
  auto* poll = new QTimer;
  auto tries = std::make_shared<int>(0);
  QObject::connect(poll, &QTimer::timeout, [poll, tries, act] {
    if (auto* d = dynamic_cast<D*>(QApplication::activeModalWidget())) {
      poll->stop();
      poll->deleteLater();
      act(d);
    } else if (++*tries > 500) {
      poll->stop();
      poll->deleteLater();
      ADD_FAILURE() << "no modal dialog appeared";
    }
  });
  poll->start(10);
}
