#pragma once

// Once the X display is gone nothing can carry on: from now on its loss ends
// the program at once with "boska: lost the display …" and status 1, instead
// of Xlib's own message.
void EndOnX11DisplayLoss();
