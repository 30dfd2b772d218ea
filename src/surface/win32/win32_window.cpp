#include "surface/win32/win32_window.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <windowsx.h>

#include <array>
#include <cstdlib>

namespace {

constexpr int kIconResource = 1;
// How far the pointer may wander before the screensaver takes it as the
// user's return: a desk's bumps move it a pixel or two.
constexpr long kPointerSlack = 4;
// How long after showing the screensaver the pointer's resting place is
// taken. Moves before then do not count: a hand leaving the mouse, and a
// system that learns where the pointer is only from its first events.
constexpr ULONGLONG kSettleMs = 1000;

std::string Failed(const char* Call) {
  return std::string(Call) + " failed with error " + std::to_string(GetLastError());
}

bool Down(int Key) { return GetKeyState(Key) < 0; }

// The button-down messages of the buttons.
constexpr ButtonNames<UINT> kButtons{WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};

// A top-down 8-bit image whose colour table holds the 256 grays, so that a
// pixel's byte is its gray.
struct GrayBitmapInfo {
  BITMAPINFOHEADER header;
  std::array<RGBQUAD, 256> grays;
};

GrayBitmapInfo GrayInfo(const PixelRows& Pixels) {
  GrayBitmapInfo info{};
  info.header.biSize = sizeof info.header;
  // Rows are Stride bytes apart; the image's own width is cut out on
  // showing.
  info.header.biWidth = Pixels.Stride;
  info.header.biHeight = -Pixels.Height;
  info.header.biPlanes = 1;
  info.header.biBitCount = 8;
  info.header.biCompression = BI_RGB;
  info.header.biClrUsed = 256;
  for (std::size_t gray = 0; gray < info.grays.size(); ++gray) {
    const auto level = static_cast<BYTE>(gray);
    info.grays[gray] = {level, level, level, 0};
  }
  return info;
}

bool ShowImage(HDC Device, const ImageSurface& Image) {
  const PixelRows pixels = Image.Rows();
  if (pixels.Width == 0 || pixels.Height == 0) return true;
  const GrayBitmapInfo info = GrayInfo(pixels);
  const auto height = static_cast<UINT>(pixels.Height);
  return SetDIBitsToDevice(Device, Image.Left(), Image.Top(), static_cast<DWORD>(pixels.Width),
                           height, 0, 0, 0, height, pixels.Data,
                           reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS) != 0;
}

void RegisterClassOnce(HINSTANCE Instance, WNDPROC Procedure) {
  WNDCLASSEXA window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = Procedure;
  window_class.hInstance = Instance;
  window_class.hIcon = LoadIconA(Instance, MAKEINTRESOURCEA(kIconResource));
  window_class.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // the arrow
  window_class.lpszClassName = kApplicationId;
  if (RegisterClassExA(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw SurfaceError(Failed("RegisterClassEx"));
  }
}

struct Placement {
  DWORD style;
  DWORD extended_style;
  RECT rect;
};

Placement PlacementFor(const Win32Style& Style) {
  switch (Style.Shape) {
    case Win32Style::Kind::FullScreen: {
      const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
      const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
      return {WS_POPUP,
              WS_EX_TOPMOST,
              {left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN),
               top + GetSystemMetrics(SM_CYVIRTUALSCREEN)}};
    }
    case Win32Style::Kind::Preview: {
      RECT client{};
      if (!GetClientRect(Style.Parent, &client)) throw SurfaceError(Failed("GetClientRect"));
      return {WS_CHILD, 0, client};
    }
    case Win32Style::Kind::Window:
      break;
  }
  RECT work{0, 0, kDesignWidth, kDesignHeight};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const long left = (work.left + work.right - kDesignWidth) / 2;
  const long top = (work.top + work.bottom - kDesignHeight) / 2;
  return {WS_POPUP, WS_EX_APPWINDOW, {left, top, left + kDesignWidth, top + kDesignHeight}};
}

}  // namespace

// The window procedure. It only records what happened; the handlers run
// once dispatching has returned.
struct Win32Procedure {
  static LRESULT CALLBACK Run(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
  // Whether Message was one of those that end in the window's input queue.
  static bool QueueInput(Win32Window& Self, UINT Message, WPARAM WParam, LPARAM LParam);
  static void Paint(Win32Window& Self, HWND Window);
};

LRESULT CALLBACK Win32Procedure::Run(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(LParam);
    SetWindowLongPtrA(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrA(Window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcA(Window, Message, WParam, LParam);
  if (QueueInput(*self, Message, WParam, LParam)) return 0;
  switch (Message) {
    case WM_PAINT:
      Paint(*self, Window);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_ACTIVATE:
      if (LOWORD(WParam) != WA_INACTIVE) self->Activated();
      break;
    case WM_MOUSEMOVE:
      if (self->PointerMovedAway()) self->QueueClose();
      break;
    case WM_SETCURSOR:
      if (self->style_.Shape == Win32Style::Kind::FullScreen) {
        SetCursor(nullptr);
        return TRUE;
      }
      break;
    default:
      break;
  }
  return DefWindowProcA(Window, Message, WParam, LParam);
}

bool Win32Procedure::QueueInput(Win32Window& Self, UINT Message, WPARAM WParam, LPARAM LParam) {
  const bool takes_input = Self.style_.Shape != Win32Style::Kind::Preview;
  const auto shift = [] {
    return Win32Window::ShiftState(Down(VK_SHIFT), Down(VK_CONTROL), Down(VK_MENU));
  };
  switch (Message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (takes_input) Self.QueueKey(static_cast<std::int16_t>(WParam), shift());
      return true;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN:
      if (takes_input) {
        Self.QueueButton(kButtons.Of(Message), shift(), float(GET_X_LPARAM(LParam)),
                         float(GET_Y_LPARAM(LParam)));
      }
      return true;
    case WM_CLOSE:
      Self.QueueClose();
      return true;
    case WM_DESTROY:
      // The preview's parent went away and took it along.
      Self.window_ = nullptr;
      Self.QueueClose();
      return true;
    default:
      return false;
  }
}

void Win32Procedure::Paint(Win32Window& Self, HWND Window) {
  PAINTSTRUCT paint;
  const HDC device = BeginPaint(Window, &paint);
  if (!Self.PaintOn(device)) Self.QueueFailure(Failed("SetDIBitsToDevice"));
  EndPaint(Window, &paint);
}

Win32Window::Win32Window(RandomSource& Random, const Win32Style& Style)
    : PictureWindow(Random), style_(Style) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  RegisterClassOnce(instance, Win32Procedure::Run);
  const Placement at = PlacementFor(Style);
  window_ = CreateWindowExA(at.extended_style, kApplicationId, kTitle, at.style, at.rect.left,
                            at.rect.top, at.rect.right - at.rect.left, at.rect.bottom - at.rect.top,
                            Style.Parent, nullptr, instance, this);
  if (window_ == nullptr) throw SurfaceError(Failed("CreateWindowEx"));
}

Win32Window::~Win32Window() {
  if (window_ != nullptr) {
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

// A desktop may never activate the window, and a preview is never active.
void Win32Window::Show() {
  ShowWindow(window_, SW_SHOW);
  shown_at_ = GetTickCount64();
  if (style_.Shape == Win32Style::Kind::Preview) {
    Activated();
  } else {
    SetForegroundWindow(window_);
  }
}

Single Win32Window::ScaleWidth() {
  RECT client{};
  GetClientRect(window_, &client);
  return static_cast<float>(client.right);
}

Single Win32Window::ScaleHeight() {
  RECT client{};
  GetClientRect(window_, &client);
  return static_cast<float>(client.bottom);
}

void Win32Window::DoEvents() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    DispatchMessageA(&message);
    DeliverInput();
  }
  // A preview's parent in another process may go without a word to us.
  if (style_.Shape == Win32Style::Kind::Preview && !IsWindow(style_.Parent)) End();
  NoteWherePointerRests();
}

void Win32Window::NoteWherePointerRests() {
  POINT pointer{};
  if (style_.Shape == Win32Style::Kind::FullScreen && !rest_ &&
      GetTickCount64() >= shown_at_ + kSettleMs && GetCursorPos(&pointer)) {
    rest_ = pointer;
  }
}

void Win32Window::WaitEvents(double Seconds) {
  MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(WaitMilliseconds(Seconds)),
                              QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  DoEvents();
}

bool Win32Window::PointerMovedAway() const {
  POINT pointer{};
  if (!rest_ || !GetCursorPos(&pointer)) return false;
  return std::abs(pointer.x - rest_->x) > kPointerSlack ||
         std::abs(pointer.y - rest_->y) > kPointerSlack;
}

void Win32Window::Present() {
  if (window_ == nullptr) return;
  const HDC device = GetDC(window_);
  if (device == nullptr) throw SurfaceError(Failed("GetDC"));
  const bool shown = PaintOn(device);
  ReleaseDC(window_, device);
  if (!shown) throw SurfaceError(Failed("SetDIBitsToDevice"));
}

bool Win32Window::PaintOn(HDC Device) {
  RECT client{};
  GetClientRect(window_, &client);
  bool shown = true;
  Repaint(
      client.right, client.bottom,
      [&] { FillRect(Device, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))); },
      [&](const ImageSurface& Image, int) { shown = ShowImage(Device, Image) && shown; });
  return shown;
}

void ReportFailure(const std::string& Line) {
  const HANDLE errors = GetStdHandle(STD_ERROR_HANDLE);
  const DWORD type =
      errors == nullptr || errors == INVALID_HANDLE_VALUE ? FILE_TYPE_UNKNOWN : GetFileType(errors);
  if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) {
    const std::string text = Line + "\n";
    DWORD written = 0;
    WriteFile(errors, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
  MessageBoxA(nullptr, Line.c_str(), kTitle, MB_OK | MB_ICONERROR);
}
