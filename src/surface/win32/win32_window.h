// The animation's window on Windows, through the plain Win32 API.
//
// What it promises:
//  - as the program's window: a window titled "Boska" with no border or title
//    bar, client area 494 × 441, centred on the main monitor's work area,
//    with the program's icon and a button on the task bar;
//  - as the screensaver's: the whole desktop, every monitor, above all other
//    windows, the pointer hidden; once it has settled for a second, moving
//    the pointer more than a few pixels ends it;
//  - as the screensaver's preview: a child window filling the client area of
//    the window it is given, taking no input, ending when that window goes;
//  - the surface in front shown from its image on WM_PAINT and as soon as
//    it is raised, its grays through a colour table, exactly;
//  - key-down and any mouse button going down (the click that activates the
//    window too) delivered to the handlers of the surface in front; closing
//    the window ends the program;
//  - a wait for events that sleeps in the message queue instead of polling.
#pragma once

#include <windef.h>

#include <optional>
#include <string>

#include "surface/picture_window.h"

struct Win32Procedure;

struct Win32Style {
  enum class Kind { Window, FullScreen, Preview };
  Kind Shape = Kind::Window;
  HWND Parent = nullptr;  // the window that a preview fills
};

class Win32Window final : public PictureWindow {
 public:
  explicit Win32Window(RandomSource& Random, const Win32Style& Style = {});
  ~Win32Window() override;

  Single ScaleWidth() override;
  Single ScaleHeight() override;
  void DoEvents() override;
  void WaitEvents(double Seconds) override;

 protected:
  void Show() override;
  void Present() override;

 private:
  friend struct Win32Procedure;

  // Paints the client area from the pictures; false when the system refused.
  bool PaintOn(HDC Device);
  // Once the screensaver has settled, where the pointer rests, and whether
  // it has since moved away from there.
  void NoteWherePointerRests();
  bool PointerMovedAway() const;

  Win32Style style_;
  HWND window_ = nullptr;
  ULONGLONG shown_at_ = 0;
  // Where the pointer rests, once the screensaver has settled.
  std::optional<POINT> rest_;
};

// Tells the user of a failure that ends the program: Line in a message box
// titled "Boska", and on standard error too when that goes to a file or a
// pipe.
void ReportFailure(const std::string& Line);
