// Where a window of the program goes on a screen of several monitors. Apart
// from the windows, whose pictures' names RandR's headers would take.
#pragma once

#include <X11/Xlib.h>

#include "surface/picture/pixel_rows.h"

// The monitor under the pointer, as RandR lists the monitors of screen
// Number (the smallest, where they overlap); the whole screen without RandR
// 1.5 or where the pointer is on none.
Box MonitorUnderPointer(Display* Server, int Number);
