#include "animation/program.h"

#include "animation/form.h"

int RunBoska(Platform& Window, std::ostream& Errors, std::string_view Program) {
  Form f(Window);
  return EndOf([&] { Window.Run(f); }, Errors, Program);
}

int EndOf(const std::function<void()>& Run, std::ostream& Errors, std::string_view Program) {
  try {
    Run();
  } catch (const ProgramEnd&) {
    return 0;
  } catch (const RunTimeError& error) {
    Errors << Program << ": " << error.what() << '\n';
    return 1;
  }
  return 0;
}
