#include "surface/offscreen/trace.h"

#include <array>
#include <charconv>
#include <string>

namespace {

// The shortest decimal that reads back as the same single.
std::string FormatSingle(Single Value) {
  std::array<char, 32> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), Value.Value());
  return {text.data(), result.ptr};
}

std::ostream& operator<<(std::ostream& out, Int16 value) { return out << value.Value(); }

std::ostream& operator<<(std::ostream& out, Single value) { return out << FormatSingle(value); }

}  // namespace

TracingSurface::TracingSurface(Int16 Index, Surface& Inner, std::ostream& Trace)
    : index_(Index), inner_(Inner), trace_(Trace), picture_(Index, Inner.Image()) {}

std::ostream& TracingSurface::Write(const char* operation) {
  return trace_ << operation << ' ' << index_;
}

void TracingSurface::Move(Single Left, Int16 Top, Int16 Width, Int16 Height) {
  Write("move") << ' ' << Left << ' ' << Top << ' ' << Width << ' ' << Height << '\n';
  inner_.Move(Left, Top, Width, Height);
}

void TracingSurface::Cls() {
  Write("cls") << '\n';
  inner_.Cls();
}

void TracingSurface::PaintPicture(const Picture& Source, Single X1, Single Y1, Int16 Width1,
                                  Int16 Height1, Int16 X2, Int16 Y2, Int16 Width2, Int16 Height2) {
  const auto& source = static_cast<const TracedPicture&>(Source);
  Write("paint") << ' ' << source.index << ' ' << X1 << ' ' << Y1 << ' ' << Width1 << ' ' << Height1
                 << ' ' << X2 << ' ' << Y2 << ' ' << Width2 << ' ' << Height2 << '\n';
  inner_.PaintPicture(source.inner, X1, Y1, Width1, Height1, X2, Y2, Width2, Height2);
}

void TracingSurface::ZOrder() {
  Write("zorder") << '\n';
  inner_.ZOrder();
}

void TracingSurface::CurrentX(Single X) {
  current_x_ = X;
  inner_.CurrentX(X);
}

void TracingSurface::CurrentY(Single Y) {
  Write("pos") << ' ' << current_x_ << ' ' << Y << '\n';
  inner_.CurrentY(Y);
}

void TracingSurface::DrawWidth(Int16 Width) {
  Write("width") << ' ' << Width << '\n';
  inner_.DrawWidth(Width);
}

void TracingSurface::Line(Single X, Single Y, Colour Color) {
  Write("line") << ' ' << X << ' ' << Y << ' ' << Color << '\n';
  inner_.Line(X, Y, Color);
}
