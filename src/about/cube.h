#pragma once
// The about box's turning wire-frame cube: integer maths on an 8-bit sine
// table, one frame per timer tick.

#include <array>
#include <cstdint>

namespace zorv {

// S[i] = 127 * sin(i * pi / 128), rounded; 256 steps make a full turn.
const std::array<std::int8_t, 256>& cubeSineTable();

struct CubePoint {
    int x = 0;
    int y = 0;
};

class CubeAnimation {
  public:
    static constexpr int kVertexCount = 8;
    static constexpr int kEdgeCount = 12;
    static constexpr int kEraseHalf = 80; // the erased square reaches this far from the centre
    // Edges in drawing order, as vertex index pairs.
    static const std::array<std::array<int, 2>, kEdgeCount> kEdges;

    CubeAnimation() { reset(); }

    // The start picture: angles 32, 32, 0, centre (160, 100), moving right and down.
    void reset();

    // One frame: turns the angles, moves the centre one pixel within the bounds
    // that the window's outer size gives, and projects the vertices.
    void step(int outerWidth, int outerHeight);

    std::uint8_t angleA() const { return a_; }
    std::uint8_t angleB() const { return b_; }
    std::uint8_t angleC() const { return c_; }
    int cx() const { return cx_; }
    int cy() const { return cy_; }
    bool forwardX() const { return forwardX_; }
    bool forwardY() const { return forwardY_; }
    // Frames computed since the last reset; before the first nothing is drawn.
    int frames() const { return frames_; }

    // Projected vertices relative to the centre, from the last step.
    const std::array<CubePoint, kVertexCount>& projected() const { return projected_; }
    // The line of edge i in window coordinates.
    CubePoint edgeStart(int edge) const;
    CubePoint edgeEnd(int edge) const;

    // Rotation and perspective of one vertex at the given angles.
    static CubePoint project(int x, int y, int z, std::uint8_t a, std::uint8_t b, std::uint8_t c);

  private:
    std::uint8_t a_ = 0, b_ = 0, c_ = 0;
    int cx_ = 0, cy_ = 0;
    bool forwardX_ = true, forwardY_ = true;
    int frames_ = 0;
    std::array<CubePoint, kVertexCount> projected_{};
};

} // namespace zorv
