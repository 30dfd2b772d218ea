// boska.scr: Boska as a Windows screensaver. Windows starts it as
//   boska.scr /s          to show it on the whole desktop,
//   boska.scr /p HWND     to show it in the preview window HWND,
//   boska.scr /c[:HWND]   (or with no argument) for its settings,
// letters in either case, "-" for "/", and ":" for the space before a
// number.
#include "programs/win32_run.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cctype>
#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr char kProgram[] = "boska.scr";

struct Request {
  char Letter = 'c';
  std::string Number;  // the window's, if one was given
};

Request Parse(const std::vector<std::string>& Arguments) {
  if (Arguments.empty()) return {};
  const std::string& first = Arguments[0];
  if (first.size() < 2 || (first[0] != '/' && first[0] != '-') ||
      (first.size() > 2 && first[2] != ':') || Arguments.size() > 2 ||
      (first.size() > 2 && Arguments.size() > 1)) {
    throw BadInput("unknown arguments; use /s, /p HWND or /c");
  }
  Request request{static_cast<char>(std::tolower(static_cast<unsigned char>(first[1]))), {}};
  request.Number = first.size() > 2 ? first.substr(3) : Arguments.size() > 1 ? Arguments[1] : "";
  if (request.Letter != 's' && request.Letter != 'p' && request.Letter != 'c') {
    throw BadInput("unknown option " + first.substr(0, 2) + "; use /s, /p HWND or /c");
  }
  if (request.Letter == 's' && !request.Number.empty()) throw BadInput("/s takes no window");
  if (request.Letter == 'p' && request.Number.empty()) throw BadInput("/p needs a window");
  return request;
}

// The window a request names, by its number in decimal.
HWND WindowOf(const std::string& Number) {
  std::uint64_t value = 0;
  const char* end = Number.data() + Number.size();
  const auto [at, error] = std::from_chars(Number.data(), end, value);
  if (Number.empty() || error != std::errc{} || at != end || value == 0) {
    throw BadInput("'" + Number.substr(0, 20) + "' is not a window number");
  }
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(value));
}

int Settings(HWND Owner) {
  MessageBoxA(IsWindow(Owner) ? Owner : nullptr, "Boska has nothing to set.", kTitle,
              MB_OK | MB_ICONINFORMATION);
  return 0;
}

int Preview(HWND Parent) {
  if (!IsWindow(Parent)) {
    ReportFailure(std::string(kProgram) + ": there is no window " +
                  std::to_string(reinterpret_cast<std::uintptr_t>(Parent)) + " to preview in");
    return 1;
  }
  return RunInWin32Window({Win32Style::Kind::Preview, Parent}, kProgram);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Request request = Parse({argv + 1, argv + argc});
    switch (request.Letter) {
      case 's':
        return RunInWin32Window({Win32Style::Kind::FullScreen, nullptr}, kProgram);
      case 'p':
        return Preview(WindowOf(request.Number));
      default:
        return Settings(request.Number.empty() ? nullptr : WindowOf(request.Number));
    }
  } catch (const BadInput& bad) {
    ReportFailure(std::string(kProgram) + ": " + bad.what());
    return kBadInputStatus;
  }
}
