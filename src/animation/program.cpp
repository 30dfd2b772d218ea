#include "animation/program.h"

#include "animation/form.h"

int RunBoska(Platform& Window, std::ostream& Errors) {
  Form f(Window);
  try {
    Window.Run(f);
  } catch (const ProgramEnd&) {
    return 0;
  } catch (const RunTimeError& error) {
    Errors << "boska: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
