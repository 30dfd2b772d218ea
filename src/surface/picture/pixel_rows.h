// Gray pictures in memory, row by row, and the boxes and rows of ink within
// them that the drawing, copying and showing of a picture follow.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// Gray pixels, one byte each from 0 (black) to 255 (white), row by row;
// Stride counts bytes. The animation draws only grays, whose red, green and
// blue are equal: one channel holds the whole picture exactly, in a quarter
// of the memory and the time of three.
struct PixelRows {
  std::uint8_t* Data;
  int Width;
  int Height;
  int Stride;

  std::uint8_t* Row(int y) const { return Data + static_cast<std::ptrdiff_t>(y) * Stride; }
};

// The pixels [Left, Right) × [Top, Bottom); empty when it has no area.
struct Box {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;

  bool Empty() const { return Left >= Right || Top >= Bottom; }
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const Box&) const = default;
  // The smallest box that holds both.
  Box Hull(const Box& Other) const {
    if (Empty()) return Other;
    if (Other.Empty()) return *this;
    return {std::min(Left, Other.Left), std::min(Top, Other.Top), std::max(Right, Other.Right),
            std::max(Bottom, Other.Bottom)};
  }
  Box Offset(int X, int Y) const { return {Left + X, Top + Y, Right + X, Bottom + Y}; }
  Box Meet(const Box& Other) const {
    const Box meet{std::max(Left, Other.Left), std::max(Top, Other.Top),
                   std::min(Right, Other.Right), std::min(Bottom, Other.Bottom)};
    return meet.Empty() ? Box{} : meet;
  }
};

// Where an image may differ from white: for each row the columns
// [Left, Right) outside which it is white, and the box that holds them all.
// A plant covers a small part of its box, and what recedes toward the right
// edge still less: copying, clearing and showing the picture follow the rows.
class InkRows {
 public:
  struct Span {
    int Left = 0;
    int Right = 0;
    bool Empty() const { return Left >= Right; }
    // The smallest span that holds both.
    Span Hull(const Span& Other) const {
      if (Empty()) return Other;
      if (Other.Empty()) return *this;
      return {std::min(Left, Other.Left), std::max(Right, Other.Right)};
    }
  };

  // All white, for an image of Height rows.
  explicit InkRows(int Height = 0) : rows_(std::size_t(std::max(Height, 0))) {}

  Span Row(int y) const { return rows_[std::size_t(y)]; }
  const Box& Hull() const { return hull_; }
  // All white again, in the time of the rows that had ink.
  void Clear() {
    for (int y = hull_.Top; y < hull_.Bottom; ++y) rows_[std::size_t(y)] = {};
    hull_ = {};
  }
  // Row y may differ from white in Columns too.
  void Add(int y, Span Columns) { Add({Columns.Left, y, Columns.Right, y + 1}); }
  // Every pixel of Area may differ from white.
  void Add(const Box& Area) {
    if (Area.Empty()) return;
    for (int y = Area.Top; y < Area.Bottom; ++y) {
      Span& row = rows_[std::size_t(y)];
      row = row.Hull({Area.Left, Area.Right});
    }
    hull_ = hull_.Hull(Area);
  }

 private:
  std::vector<Span> rows_;
  Box hull_;
};
