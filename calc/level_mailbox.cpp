#include "calc/level_mailbox.h"

#include <utility>

namespace calc {

void LevelMailbox::PostLevel(PostedLevel level) {
  bool was_empty = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    was_empty = box_.levels == 0;
    box_.levels += level.levels;
    box_.level_index = level.level_index;
    box_.y = level.y;
    if (!level.status.empty()) box_.status = std::move(level.status);
    if (level.chart) {
      box_.chart = true;
      box_.series = std::move(level.series);
    }
    box_.mosaic.insert(box_.mosaic.end(), level.mosaic.begin(), level.mosaic.end());
    for (std::string& m : level.messages) box_.messages.push_back(std::move(m));
  }
  if (was_empty && wake_) wake_();
}

PostedLevel LevelMailbox::Take() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(box_, PostedLevel{});
}

}  // namespace calc
