// What every window shares: the two surfaces of pb over gray images in
// memory, laid at their design positions; the run from showing the window
// to Form_Activate; the repaint from the pictures; the input queue through
// which events reach the handlers; the clock and the random source.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "surface/picture/image_surface.h"
#include "surface/platform.h"
#include "surface/random.h"

// The mouse buttons the handlers tell apart, whatever a system calls them.
enum class PressedButton { Left, Right, Middle, Other };

// What a system calls its left, right and middle buttons.
template <typename Code>
struct ButtonNames {
  Code Left, Right, Middle;

  // The button that Native names; any other is Other.
  PressedButton Of(Code Native) const {
    return Native == Left     ? PressedButton::Left
           : Native == Right  ? PressedButton::Right
           : Native == Middle ? PressedButton::Middle
                              : PressedButton::Other;
  }
};

class PictureWindow : public Platform {
 public:
  PictureWindow(const PictureWindow&) = delete;
  PictureWindow& operator=(const PictureWindow&) = delete;

  // Shows the window, waits until it is shown and active, paints it and
  // hands over to Handlers.Form_Activate.
  void Run(WindowEvents& Handlers) final;
  Surface& pb(Int16 Index) override { return Image(Index); }
  // Seconds since local midnight, by the system's clock.
  Single Timer() override;
  void Randomize(Single Seed) override { random_.Randomize(Seed); }
  Single Rnd() override { return random_.Next(); }
  // The Shift argument of the handlers.
  static std::int16_t ShiftState(bool Shift, bool Control, bool Alt);

 protected:
  explicit PictureWindow(RandomSource& Random);

  // Makes the window visible and asks for it to be activated; Activated
  // says when the system has done so.
  virtual void Show() = 0;
  void Activated() { activated_ = true; }
  bool IsActivated() const { return activated_; }
  // Paints the window's client area from the pictures.
  virtual void Present() = 0;
  // Runs after ZOrder has brought pb(Index) in front: presents it.
  virtual void Raised(int Index);

  // The surface pb(Index); any index but 0 and 1 is a surface error.
  ImageSurface& Image(Int16 Index);
  const ImageSurface& FrontImage() const { return *images_[front_]; }

  // Paints a client area of Width × Height with White (the whole of it) and
  // Picture (one surface's image, at its place; Slot is the surface's
  // index): until start-up has laid the surface in front over the whole
  // window, white and the surface behind show around it.
  using PaintPicture = std::function<void(const ImageSurface& Image, int Slot)>;
  void Repaint(int Width, int Height, const std::function<void()>& White,
               const PaintPicture& Picture) const;

  // Input as the system reported it. Handlers end the program by throwing,
  // which must not unwind through the system's own frames (a window
  // procedure, a protocol listener): input is queued while the system
  // dispatches it and delivered to the handlers of the surface in front once
  // dispatching has returned.
  void QueueKey(std::int16_t Code, std::int16_t Shift);
  void QueueButton(PressedButton Button, std::int16_t Shift, float X, float Y);
  // The window was closed or went away: the program ends.
  void QueueClose();
  // A failure found while dispatching, raised as a surface error on delivery.
  void QueueFailure(const std::string& What);
  void DeliverInput();

  // How long a wait for events of at most Seconds blocks, in whole
  // milliseconds: at least 1, so that it never spins, and at most a second.
  static int WaitMilliseconds(double Seconds);

 private:
  struct Input {
    enum class Kind { Key, Button, Close };
    Kind What;
    std::int16_t Code = 0;
    std::int16_t Shift = 0;
    float X = 0;
    float Y = 0;
  };

  void WaitUntilActivated();

  RandomSource& random_;
  std::array<std::unique_ptr<ImageSurface>, 2> images_;
  int front_ = 0;
  WindowEvents* handlers_ = nullptr;
  bool activated_ = false;
  std::vector<Input> inputs_;
  std::string failure_;
};
