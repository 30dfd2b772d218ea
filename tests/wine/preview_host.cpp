// A stand-in for the screensaver settings' preview: a window whose client
// area is 152 × 112 pixels, as the preview's is. It writes its window's
// number in decimal to the file named by its first argument. Once a window
// has been inside it for two seconds (or after the number of seconds its
// second argument gives, if none comes) it adds a line
// "child CLASS WIDTHxHEIGHT" for each window inside it, destroys its window
// and ends.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr UINT kTickMs = 100;
constexpr int kTicksWithChild = 20;

const char* report_path = nullptr;
int ticks_left = 0;
int ticks_with_child = 0;

BOOL CALLBACK ReportChild(HWND Child, LPARAM Report) {
  char name[64] = "";
  GetClassNameA(Child, name, sizeof name);
  RECT client{};
  GetClientRect(Child, &client);
  std::fprintf(reinterpret_cast<std::FILE*>(Report), "child %s %ldx%ld\n", name, client.right,
               client.bottom);
  return TRUE;
}

LRESULT CALLBACK Procedure(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message == WM_TIMER) {
    if (GetWindow(Window, GW_CHILD) != nullptr) ++ticks_with_child;
    if (--ticks_left > 0 && ticks_with_child < kTicksWithChild) return 0;
    if (std::FILE* report = std::fopen(report_path, "a")) {
      EnumChildWindows(Window, ReportChild, reinterpret_cast<LPARAM>(report));
      std::fclose(report);
    }
    DestroyWindow(Window);
  }
  if (Message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(Window, Message, WParam, LParam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  report_path = argv[1];
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = Procedure;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  window_class.lpszClassName = "preview-host";
  RegisterClassA(&window_class);
  HWND window =
      CreateWindowExA(0, "preview-host", "Preview host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
                      10, 10, 152, 112, nullptr, nullptr, window_class.hInstance, nullptr);
  if (window == nullptr) return 1;
  ticks_left = std::atoi(argv[2]) * 1000 / int(kTickMs);
  SetTimer(window, 1, kTickMs, nullptr);
  std::FILE* file = std::fopen(argv[1], "w");
  if (file == nullptr) return 1;
  std::fprintf(file, "%llu\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
  std::fclose(file);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}
