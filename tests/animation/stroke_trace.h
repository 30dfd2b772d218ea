// The strokes of a trace, read back: where each starts, the width and end of
// each piece.
#pragma once

#include <sstream>
#include <string>
#include <vector>

struct Piece {
  int width;
  double x, y;
};

struct Stroke {
  double x1, y1;
  std::vector<Piece> pieces;
  // With every random number 0 each inner joint lies J left of its point on
  // the straight line; J is the level. (Exact for strokes of length 0.)
  int JitterLeft() const { return static_cast<int>(x1 - pieces.front().x); }
};

inline std::vector<Stroke> Strokes(const std::vector<std::string>& trace) {
  std::vector<Stroke> strokes;
  int width = 0;
  for (const std::string& line : trace) {
    std::istringstream fields(line);
    std::string operation;
    int index = 0;
    fields >> operation >> index;
    if (operation == "pos") {
      strokes.emplace_back();
      fields >> strokes.back().x1 >> strokes.back().y1;
    } else if (operation == "width") {
      fields >> width;
    } else if (operation == "line") {
      Piece piece{width, 0, 0};
      fields >> piece.x >> piece.y;
      strokes.back().pieces.push_back(piece);
    }
  }
  return strokes;
}
