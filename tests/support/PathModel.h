#pragma once

// A path for the tests of the path verdict, on a simulated clock whose ticks wrap early on. The
// program writes a 450-byte audio block every 125 ms when its thinning lets it (asking first how
// stale what waits is, as the server does) and a 60-byte line every 250 ms; what it writes
// leaves in order through a link of some rate (0: as fast as it comes) and is acknowledged a
// round trip after it left; one write in lossEvery is lost once, and it and all after it are
// acknowledged kResendMs later, the system telling from kTimerMs on that it sends it again. The
// connection's handshake measured the first round trip.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "common/AudioThinning.h"
#include "sockets/PathCarry.h"

namespace testsupport {

struct TPathShape {
  std::uint32_t fromMs, perSec, rttMs;
  bool quiet = false;  // the program writes nothing
  std::uint32_t lossEvery = 0;
};

class TPathModel {
 public:
  explicit TPathModel(std::vector<TPathShape> shapes)
      : shapes_(std::move(shapes)), srtt_(shapes_[0].rttMs), minRtt_(shapes_[0].rttMs) {}

  // Until untilMs; onBlock sees each block's moment, what the connection told and whether it went.
  void Run(std::uint32_t untilMs,
           const std::function<void(std::uint32_t ms, const TSendBacklog&, bool sent)>& onBlock) {
    for (; ms_ <= untilMs; ++ms_) {
      const TPathShape& shape = *(std::find_if(shapes_.begin(), shapes_.end(),
                                               [&](const auto& s) { return s.fromMs > ms_; }) -
                                  1);
      for (; !flight_.empty() && flight_.front().ackMs <= ms_; flight_.pop_front()) {
        delivered_ += flight_.front().bytes;
        lastAck_ = ms_;
        srtt_ = srtt_ * 7 / 8 + (ms_ - flight_.front().wroteMs) / 8.0;
        minRtt_ = std::min<double>(minRtt_, ms_ - flight_.front().wroteMs);
      }
      if (shape.quiet) continue;
      if (ms_ % 250 == 7) Write(60, shape);
      if (ms_ % 125 != 0) continue;
      TSendBacklog told;
      told.Delivered = delivered_, told.SinceAckMs = ms_ - lastAck_;
      told.Retransmitting = std::any_of(flight_.begin(), flight_.end(), [&](const TWrite& w) {
        return w.lost && ms_ >= w.wroteMs + kTimerMs;
      });
      told.RttUs = static_cast<std::uint32_t>(srtt_ * 1000);
      told.MinRttUs = static_cast<std::uint32_t>(minRtt_ * 1000);
      path.Sample(kStart + ms_, told);
      told.OwnDelayMs = path.OwnDelayMs(), told.OverdueMs = path.OverdueMs();
      told.Probing = path.Probing(), told.Carries = path.Carries();
      const bool sent = thinning.Decide(told.BehindMs(), kStart + ms_).Send;
      if (sent) Write(450, shape);
      onBlock(ms_, told, sent);
    }
  }

  TPathCarry path;
  TAudioThinning thinning{1, 1};

 private:
  static constexpr std::uint32_t kStart = 0xFFFFF000u;
  static constexpr std::uint32_t kTimerMs = 200, kResendMs = 250;
  struct TWrite {
    std::uint32_t wroteMs, ackMs, bytes;
    bool lost;
  };

  void Write(std::uint32_t bytes, const TPathShape& shape) {
    path.Wrote(kStart + ms_, written_ += bytes);
    free_ = std::max<double>(free_, ms_) + (shape.perSec ? bytes * 1000.0 / shape.perSec : 0);
    const bool lost = shape.lossEvery != 0 && ++writes_ % shape.lossEvery == 0;
    const auto ack = std::max(static_cast<std::uint32_t>(free_) + shape.rttMs + lost * kResendMs,
                              flight_.empty() ? 0 : flight_.back().ackMs);
    flight_.push_back({ms_, ack, bytes, lost});
  }

  std::vector<TPathShape> shapes_;
  double srtt_, minRtt_, free_ = 0;  // free_: when the link has sent what it was given
  std::uint32_t ms_ = 0, lastAck_ = 0, writes_ = 0;
  std::uint64_t written_ = 0, delivered_ = 0;
  std::deque<TWrite> flight_;
};

}  // namespace testsupport
