#include "app/SaverGroup.h"

#include <stdexcept>
#include <utility>

#include "app/Main.h"

namespace moonglow {

std::size_t PrimaryMonitor(const std::vector<TRect>& monitors) {
  for (std::size_t i = 0; i < monitors.size(); ++i) {
    if (monitors[i].Left == 0 && monitors[i].Top == 0) return i;
  }
  return 0;
}

TSaverGroup::TSaverGroup(std::vector<TRect> monitors, std::size_t primary,
                         std::uint32_t seedCounter)
    : FMonitors(std::move(monitors)),
      FFirstCount(FMonitors.size()),
      FPrimary(primary),
      FSeedCounter(seedCounter),
      FForms(FMonitors.size(), nullptr) {
  if (FPrimary >= FMonitors.size()) throw std::out_of_range("the primary monitor is not listed");
}

std::uint32_t TSaverGroup::SeedCounter(std::size_t monitor) const {
  // The primary counts 0; the others 1, 2, ... after it, wrapping round
  // among the first monitors; a later one counts its own number.
  const std::size_t n = FFirstCount;
  const auto k =
      static_cast<std::uint32_t>(monitor >= n ? monitor : (monitor % n + n - FPrimary) % n);
  return FSeedCounter + k * SeedStep;  // unsigned: wraps by design
}

std::size_t TSaverGroup::AddMonitor(const TRect& monitor) {
  FMonitors.push_back(monitor);
  FForms.push_back(nullptr);
  return FMonitors.size() - 1;
}

void TSaverGroup::Join(TMainForm& form, std::size_t monitor) {
  TMainForm*& slot = FForms.at(monitor);
  if (slot) throw std::logic_error("two saver windows on one monitor");
  slot = &form;
}

void TSaverGroup::Leave(const TMainForm& form) {
  for (TMainForm*& slot : FForms) {
    if (slot == &form) slot = nullptr;
  }
}

void TSaverGroup::RequestClose(bool failed) {
  if (failed) FFailed = true;
  if (FClosing) return;
  if (TMainForm* primary = FForms[FPrimary]) {
    primary->FHost.Close();
  } else {
    // No primary window (it could not be made): nobody is left to ask.
    FClosing = true;
    EndOthers();
  }
}

void TSaverGroup::HoldOthers(bool hold) {
  for (std::size_t i = 0; i < FForms.size(); ++i) {
    if (i != FPrimary && FForms[i]) FForms[i]->Hold(hold);
  }
}

void TSaverGroup::EndOthers() {
  FClosing = true;
  for (std::size_t i = 0; i < FForms.size(); ++i) {
    if (i != FPrimary && FForms[i]) FForms[i]->EndForGroup();
  }
}

}  // namespace moonglow
