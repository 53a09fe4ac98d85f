#pragma once

#include <QObject>
#include <functional>

namespace platform {

// Reports changes of the desktop's look: the application's style, the application palette, or
// the desktop theme that Qt's platform integration announces. One change makes Qt deliver several
// events (a new style also resets the palette and reaches every widget); they are gathered into
// one call of onChange, made from the event loop once the change is complete. Widgets that were
// given a style of their own do not count. Main thread only.
class ThemeWatcher : public QObject {
 public:
  explicit ThemeWatcher(std::function<void()> onChange);
  ~ThemeWatcher() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Report();

  std::function<void()> onChange_;
  bool pending_ = false;
};

}  // namespace platform
