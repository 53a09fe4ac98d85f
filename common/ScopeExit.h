#pragma once

#include <utility>

// Runs an action when the scope ends, also when it ends by an exception: a flag, a count or a
// widget's state set for the length of a call is put back however the call ends. The action
// must not throw.
template <class Action>
class TScopeExit {
 public:
  explicit TScopeExit(Action action) : action_(std::move(action)) {}
  ~TScopeExit() { action_(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  Action action_;
};
