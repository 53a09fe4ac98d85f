#include "sockets/Component.h"

#include <algorithm>

TComponent::~TComponent() {
  destroying_ = true;
  // Each notified component forgets this one before it is told, so that it cannot call back.
  std::vector<TComponent*> others;
  others.swap(notified_);
  for (TComponent* other : others) other->Unlink(this);
  for (TComponent* other : others) other->Notification(this, opRemove);
}

void TComponent::FreeNotification(TComponent* other) {
  if (other == nullptr || other == this) return;
  if (std::find(notified_.begin(), notified_.end(), other) == notified_.end()) {
    notified_.push_back(other);
  }
  if (std::find(other->notified_.begin(), other->notified_.end(), this) == other->notified_.end()) {
    other->notified_.push_back(this);
  }
}

void TComponent::RemoveFreeNotification(TComponent* other) {
  if (other == nullptr) return;
  Unlink(other);
  other->Unlink(this);
}

void TComponent::Notification(TComponent*, TOperation) {}

void TComponent::Unlink(TComponent* other) {
  notified_.erase(std::remove(notified_.begin(), notified_.end(), other), notified_.end());
}
