#include "animation/program.h"

#include "animation/form.h"

int RunBoska(Platform& Window, std::ostream& Errors) {
  Form f(Window);
  return EndOf([&] { Window.Run(f); }, Errors);
}

int EndOf(const std::function<void()>& Run, std::ostream& Errors) {
  try {
    Run();
  } catch (const ProgramEnd&) {
    return 0;
  } catch (const RunTimeError& error) {
    Errors << "boska: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
