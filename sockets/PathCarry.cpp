#include "sockets/PathCarry.h"

void TPathCarry::Reset() {
  marks_.clear();
  carries_ = false;
}

void TPathCarry::Sample(std::uint32_t now, std::uint64_t sent, std::uint64_t delivered) {
  // Samples that go back, or after a long silence, start the window over.
  if (!marks_.empty() && (sent < marks_.back().sent || delivered < marks_.back().delivered ||
                          now - marks_.back().tick > kWindowMs))
    marks_.clear();
  if (marks_.size() < 2 || marks_.back().tick - marks_[marks_.size() - 2].tick >= kStepMs)
    marks_.push_back({now, sent, delivered});
  else
    marks_.back() = {now, sent, delivered};
  while (marks_.size() > 2 && now - marks_[1].tick >= kWindowMs) marks_.pop_front();
  const TMark& first = marks_.front();
  const std::uint32_t span = now - first.tick;
  if (span < kWindowMs) return;
  const std::uint64_t offered = sent - first.sent, taken = delivered - first.delivered;
  if (offered * 1000 >= kTestPerSec * span) carries_ = taken * 5 >= offered * 4;
}

std::uint64_t TPathCarry::DeliveredPerSec() const {
  if (marks_.size() < 2) return 0;
  const std::uint32_t span = marks_.back().tick - marks_.front().tick;
  if (span < kWindowMs) return 0;
  return (marks_.back().delivered - marks_.front().delivered) * 1000 / span;
}
