#pragma once

#include <chrono>
#include <functional>
#include <utility>

namespace tavrik {

/// What a walk does between its pairs so that its window stays alive on a
/// slow drive: it calls the window's `call` once `interval` has passed since
/// the walk began or since the last call. Between pairs the walk only reads
/// the clock, never the window system's queue, so a walk that is short or
/// on a fast drive pays for nothing else.
class KeepAlive {
 public:
  using Clock = std::chrono::steady_clock;
  /// Often enough that the window answers the desktop well within 0.5 s
  /// even when a pair is slow, seldom enough that the calls cost the walk
  /// nothing measurable.
  static constexpr Clock::duration kInterval = std::chrono::milliseconds(100);

  KeepAlive() = default;
  explicit KeepAlive(std::function<void()> call, Clock::duration interval = kInterval)
      : call_(std::move(call)), interval_(interval) {}

  /// The walk begins: the first call is due one interval later.
  void Start() { due_ = Clock::now() + interval_; }

  /// Between two pairs.
  void BetweenPairs() {
    if (!call_ || Clock::now() < due_) return;
    call_();
    // Counted from the call's end: a slow call (a repaint) does not make
    // the next one due at once.
    due_ = Clock::now() + interval_;
  }

 private:
  std::function<void()> call_;
  Clock::duration interval_ = kInterval;
  Clock::time_point due_;
};

}  // namespace tavrik
