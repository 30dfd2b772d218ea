// libFuzzer target for what boska-render reads from its user: the first byte
// picks the command line (the rest split at NUL bytes into arguments) or the
// random file (the rest as its text). Whatever comes in, the reader either
// accepts values within their ranges or refuses with one line.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "render_options.h"

namespace {

void Expect(bool condition) {
  if (!condition) std::abort();
}

void ExpectOneLine(const BadInput& error) {
  const std::string what = error.what();
  Expect(!what.empty() && what.find('\n') == std::string::npos && what.size() < 300);
}

void Arguments(const std::string& text) {
  std::vector<std::string> arguments;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
    arguments.push_back(text.substr(start, end - start));
  }
  arguments.push_back(text.substr(start));
  try {
    const RenderOptions options = ParseRenderOptions(arguments);
    Expect(options.Width >= 1 && options.Width <= 32767);
    Expect(options.Height >= 1 && options.Height <= 32767);
    Expect(options.Frames >= 0);
    Expect(!(options.Seed && !options.RandomFile.empty()));
  } catch (const BadInput& error) {
    ExpectOneLine(error);
  }
}

void RandomFile(const std::string& text) {
  try {
    for (const float number : ReadRandomNumbers(text)) Expect(number >= 0 && number < 1);
  } catch (const BadInput& error) {
    ExpectOneLine(error);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] % 2 == 0) {
    Arguments(text);
  } else {
    RandomFile(text);
  }
  return 0;
}
