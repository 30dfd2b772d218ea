#include "surface/x11/foreign_window.h"

ForeignWindow::ForeignWindow(RandomSource& Random, std::optional<Window> Id, const char* Program)
    : XDrawnWindow(Random, Program) {
  const Window target = Id.value_or(DefaultRootWindow(display_));
  XWindowAttributes attributes{};
  XGetWindowAttributes(display_, target, &attributes);
  DrawIn(target, attributes.visual, attributes.width, attributes.height);
  XSelectInput(display_, target, ExposureMask | StructureNotifyMask);
}

void ForeignWindow::Show() {
  SendBoth();
  Activated();
}
