#include "surface/wayland/wayland_outputs.h"

#include <algorithm>
#include <utility>

#include "surface/wayland/wayland_protocols.h"

// The outputs' C callbacks: they only record what happened.
struct OutputListeners {
  static void Scale(void* Data, wl_output*, std::int32_t Factor) {
    auto* output = static_cast<WaylandOutput*>(Data);
    if (output->scale != std::max(1, Factor)) output->scaled = true;
    output->scale = std::max(1, Factor);
  }
  static constexpr wl_output_listener kOutput{Ignore, Ignore, Ignore, Scale, Ignore, Ignore};

  static void Position(void* Data, zxdg_output_v1*, std::int32_t X, std::int32_t Y) {
    auto* output = static_cast<WaylandOutput*>(Data);
    output->x = X;
    output->y = Y;
  }
  static void Described(void* Data, zxdg_output_v1*) {
    static_cast<WaylandOutput*>(Data)->described = true;
  }
  static constexpr zxdg_output_v1_listener kDescription{Position, Ignore, Described, Ignore,
                                                        Ignore};
};

WaylandOutput::~WaylandOutput() {
  if (description != nullptr) zxdg_output_v1_destroy(description);
  LetGo(output, WL_OUTPUT_RELEASE_SINCE_VERSION, wl_output_release, wl_output_destroy);
}

void WaylandOutputs::Add(wl_output* Output, std::uint32_t Name) {
  WaylandOutput& output = *outputs_.emplace_back(std::make_unique<WaylandOutput>(Name, Output));
  wl_output_add_listener(Output, &OutputListeners::kOutput, &output);
  added_.push_back(&output);
}

std::unique_ptr<WaylandOutput> WaylandOutputs::Take(std::uint32_t Name) {
  const auto gone = std::ranges::find_if(
      outputs_,
      [Name](const std::unique_ptr<WaylandOutput>& output) { return output->name == Name; });
  if (gone == outputs_.end()) return nullptr;
  std::unique_ptr<WaylandOutput> taken = std::move(*gone);
  outputs_.erase(gone);
  std::erase(added_, taken.get());
  return taken;
}

WaylandOutputs::Changes WaylandOutputs::Settle(zxdg_output_manager_v1* Manager) {
  Changes changes;
  for (WaylandOutput* output : std::exchange(added_, {})) {
    if (Manager == nullptr) {
      changes.Placed.push_back(output);
    } else {
      output->description = zxdg_output_manager_v1_get_xdg_output(Manager, output->output);
      zxdg_output_v1_add_listener(output->description, &OutputListeners::kDescription, output);
    }
  }
  for (const std::unique_ptr<WaylandOutput>& output : outputs_) {
    if (std::exchange(output->described, false)) changes.Placed.push_back(output.get());
    changes.Scaled |= std::exchange(output->scaled, false);
  }
  return changes;
}

int WaylandOutputs::LargestScale(const std::vector<const wl_output*>& Entered) const {
  int largest = 1;
  for (const std::unique_ptr<WaylandOutput>& output : outputs_) {
    if (std::ranges::find(Entered, output->output) != Entered.end()) {
      largest = std::max(largest, output->scale);
    }
  }
  return largest;
}
