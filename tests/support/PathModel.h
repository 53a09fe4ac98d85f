#pragma once

// A path for the tests of the path verdict, on a simulated clock whose ticks wrap early on. The
// program writes a 450-byte audio block every 125 ms when its thinning lets it (sampling the path
// first, as the programs do) and a 40-byte status line every 500 ms, and the socket samples the
// path before each write; what it writes leaves in order through a link of some rate (0: as fast as
// it comes) and is acknowledged a round trip after it left. The round trip may move over the
// seconds (MovingDelay.h); one write in lossEvery is lost once, and it and all after it are
// acknowledged kResendMs later. A deaf peer takes nothing and acknowledges nothing; a reconnect
// starts a new connection, the verdict and the thinning afresh. The connection's handshake measured
// the first round trip.
//
// Each block is judged by what the model delivers: how much later than the path's own delay at
// the time its last byte reaches the peer (never, to a deaf peer).
#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

#include "common/AudioThinning.h"
#include "sockets/PathCarry.h"
#include "tests/support/MovingDelay.h"

namespace testsupport {

struct TPathShape {
  std::uint32_t fromMs, perSec, rttMs;
  bool quiet = false;  // the program writes nothing
  std::uint32_t lossEvery = 0;
  // The round trip moves up to swingMs above rttMs, as moves says.
  std::uint32_t swingMs = 0;
  std::optional<TMovingDelay::TShape> moves = std::nullopt;
  bool deaf = false;
  bool reconnect = false;
};

class TPathModel {
 public:
  static constexpr std::uint32_t kNever = std::numeric_limits<std::uint32_t>::max();

  explicit TPathModel(std::vector<TPathShape> shapes)
      : shapes_(std::move(shapes)), minRtt_(shapes_[0].rttMs) {}

  // Until untilMs; onBlock sees each block's moment, whether it went, and if so how late it
  // reaches the peer beyond the path's delay (kNever: it does not).
  void Run(std::uint32_t untilMs,
           const std::function<void(std::uint32_t ms, bool sent, std::uint32_t lateMs)>& onBlock) {
    for (; ms_ <= untilMs; ++ms_) {
      const std::size_t at =
          static_cast<std::size_t>(std::find_if(shapes_.begin(), shapes_.end(),
                                                [&](const auto& s) { return s.fromMs > ms_; }) -
                                   shapes_.begin() - 1);
      const TPathShape& shape = shapes_[at];
      if (at != shapeAt_) Enter(at);
      for (; !shape.deaf && !flight_.empty() && flight_.front().ackMs <= ms_; flight_.pop_front()) {
        delivered_ += flight_.front().bytes;
        lastAck_ = ms_;
        minRtt_ = std::min<double>(minRtt_, ms_ - flight_.front().leftMs);
      }
      if (shape.quiet) continue;
      if (ms_ % 500 == 7) Write(40, shape);
      if (ms_ % 125 != 0) continue;
      path.Sample(kStart + ms_, Told());
      const TLinkState link = path.Link(kStart + ms_, delivered_);
      const bool sent = thinning.Decide(link, kStart + ms_).Send;
      const std::uint32_t late = sent ? Write(450, shape) : 0;
      onBlock(ms_, sent, late);
    }
  }

  TPathCarry path;
  TAudioThinning thinning{1, 1};

 private:
  static constexpr std::uint32_t kStart = 0xFFFFF000u;
  static constexpr std::uint32_t kTimerMs = 200, kResendMs = 250;
  struct TWrite {
    std::uint32_t leftMs, ackMs, bytes;
    bool lost;
  };

  void Enter(std::size_t at) {
    shapeAt_ = at;
    const TPathShape& shape = shapes_[at];
    moving_.reset();
    if (shape.moves) moving_.emplace(*shape.moves, 0, shape.swingMs, 2718 + at);
    if (!shape.reconnect) return;
    path.Reset();
    thinning.Reset();
    flight_.clear();
    written_ = delivered_ = 0;
    free_ = ms_;
    lastAck_ = ms_;
    minRtt_ = shape.rttMs;
  }

  TSendBacklog Told() const {
    TSendBacklog told;
    told.Delivered = delivered_, told.SinceAckMs = ms_ - lastAck_;
    told.MinRttUs = static_cast<std::uint32_t>(minRtt_ * 1000);
    // The system tells from its timer on that it sends a lost write again.
    told.Retransmitting = std::any_of(flight_.begin(), flight_.end(), [&](const TWrite& w) {
      return w.lost && ms_ >= w.leftMs + kTimerMs;
    });
    return told;
  }

  // How late the write's last byte reaches the peer beyond the path's delay.
  std::uint32_t Write(std::uint32_t bytes, const TPathShape& shape) {
    path.Sample(kStart + ms_, Told());
    path.Wrote(kStart + ms_, written_ += bytes);
    free_ = std::max<double>(free_, ms_) + (shape.perSec ? bytes * 1000.0 / shape.perSec : 0);
    const double rtt = shape.rttMs + (moving_ ? moving_->At(free_ / 1000) : 0);
    const bool lost = shape.lossEvery != 0 && ++writes_ % shape.lossEvery == 0;
    const auto ack = std::max(static_cast<std::uint32_t>(free_ + rtt) + lost * kResendMs,
                              flight_.empty() ? 0 : flight_.back().ackMs);
    flight_.push_back({static_cast<std::uint32_t>(free_), ack, bytes, lost});
    return shape.deaf ? kNever : static_cast<std::uint32_t>(free_) - ms_;
  }

  std::vector<TPathShape> shapes_;
  std::size_t shapeAt_ = std::numeric_limits<std::size_t>::max();
  std::optional<TMovingDelay> moving_;
  double minRtt_, free_ = 0;  // free_: when the link has sent what it was given
  std::uint32_t ms_ = 0, lastAck_ = 0, writes_ = 0;
  std::uint64_t written_ = 0, delivered_ = 0;
  std::deque<TWrite> flight_;
};

}  // namespace testsupport
