#pragma once
// The levels a sweep on a worker thread posts, gathered until the user interface's thread takes
// them. However fast the levels come, the receiving thread does one piece of work per wake-up:
// the mosaic drawings and messages of every level since the last take, and only the newest
// status line and working chart.

#include <atomic>
#include <functional>
#include <mutex>

#include "calc/ports.h"

namespace calc {

class LevelMailbox : public LevelPort {
 public:
  // `wake` is called on the worker thread when a level arrives in an empty box; it should have
  // the receiving thread call Take (a queued call, say). It is not called again before Take.
  explicit LevelMailbox(std::function<void()> wake = {}) : wake_(std::move(wake)) {}

  void PostLevel(PostedLevel level) override;
  bool ShowChart() const override { return show_chart_.load(std::memory_order_relaxed); }
  bool ShowMosaic() const override { return show_mosaic_.load(std::memory_order_relaxed); }

  // Set by the user interface when its check boxes change; the sweep reads them per level.
  void SetShowChart(bool on) { show_chart_.store(on, std::memory_order_relaxed); }
  void SetShowMosaic(bool on) { show_mosaic_.store(on, std::memory_order_relaxed); }

  // Everything posted since the last take, merged (levels == 0 when nothing was).
  PostedLevel Take();

 private:
  std::function<void()> wake_;
  std::atomic<bool> show_chart_{false};
  std::atomic<bool> show_mosaic_{false};
  std::mutex mutex_;
  PostedLevel box_;
};

}  // namespace calc
