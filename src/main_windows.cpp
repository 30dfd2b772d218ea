// boska.exe: the animation in its window on the Windows desktop.
#include "windows_run.h"

int main() { return RunInWin32Window({}, "boska"); }
