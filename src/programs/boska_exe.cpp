// boska.exe: the animation in its window on the Windows desktop.
#include "programs/win32_run.h"

int main() { return RunInWin32Window({}, "boska"); }
