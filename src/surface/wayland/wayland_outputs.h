// The outputs of a Wayland compositor, as they come and go, each with its
// scale and its place in the compositor's layout (from xdg-output; without
// it every output lies at the layout's origin). The listeners only record;
// Settle acts after dispatch.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct wl_output;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;

struct WaylandOutput {
  std::uint32_t name;
  wl_output* output;
  zxdg_output_v1* description = nullptr;
  int scale = 1;
  // Its place in the layout, once described.
  int x = 0, y = 0;
  // What the compositor said since the last Settle.
  bool described = false;
  bool scaled = false;

  WaylandOutput(std::uint32_t Name, wl_output* Output) : name(Name), output(Output) {}
  ~WaylandOutput();
  WaylandOutput(const WaylandOutput&) = delete;
  WaylandOutput& operator=(const WaylandOutput&) = delete;
};

class WaylandOutputs {
 public:
  // An output bound under the registry name Name.
  void Add(wl_output* Output, std::uint32_t Name);
  // The output named Name, out of the list (none if there is none): what
  // lies on it goes first, then it.
  std::unique_ptr<WaylandOutput> Take(std::uint32_t Name);

  struct Changes {
    // The outputs that now say where they lie, or that came where nothing
    // will: each to be covered, and what covers it placed.
    std::vector<WaylandOutput*> Placed;
    // Some output's scale changed.
    bool Scaled = false;
  };
  // Asks each output for its place, where Manager is there to tell it, and
  // says what changed since the last call.
  Changes Settle(zxdg_output_manager_v1* Manager);

  const std::vector<std::unique_ptr<WaylandOutput>>& All() const { return outputs_; }
  // The largest scale of the outputs in Entered.
  int LargestScale(const std::vector<const wl_output*>& Entered) const;

 private:
  std::vector<std::unique_ptr<WaylandOutput>> outputs_;
  // Outputs added since the last Settle.
  std::vector<WaylandOutput*> added_;
};
