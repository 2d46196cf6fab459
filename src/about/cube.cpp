#include "about/cube.h"

#include <cmath>

namespace zorv {

namespace {

constexpr int kVertices[CubeAnimation::kVertexCount][3] = {
    {-40, 40, 40},  {40, 40, 40},  {40, -40, 40},  {-40, -40, 40},
    {-40, 40, -40}, {40, 40, -40}, {40, -40, -40}, {-40, -40, -40},
};

constexpr int kEye = 140;

std::array<std::int8_t, 256> makeSineTable() {
    std::array<std::int8_t, 256> t{};
    const double pi = std::acos(-1.0);
    for (int i = 0; i < 256; ++i)
        t[static_cast<std::size_t>(i)] =
            static_cast<std::int8_t>(std::lround(127.0 * std::sin(i * pi / 128.0)));
    return t;
}

int sinOf(std::uint8_t angle) {
    return cubeSineTable()[angle];
}

int cosOf(std::uint8_t angle) {
    return cubeSineTable()[static_cast<std::uint8_t>(angle + 64)];
}

// One pixel along an axis, turning at the bounds: the upper bound is tested
// first, so a window too small for both ends up moving forwards.
void bounce(int& centre, bool& forward, int upper) {
    if (upper < centre)
        forward = false;
    if (centre < CubeAnimation::kEraseHalf)
        forward = true;
    centre += forward ? 1 : -1;
}

} // namespace

const std::array<std::array<int, 2>, CubeAnimation::kEdgeCount> CubeAnimation::kEdges = {{
    {4, 5},
    {0, 1},
    {3, 2},
    {0, 4},
    {1, 5},
    {6, 7},
    {7, 3},
    {6, 2},
    {4, 7},
    {0, 3},
    {1, 2},
    {5, 6},
}};

const std::array<std::int8_t, 256>& cubeSineTable() {
    static const std::array<std::int8_t, 256> table = makeSineTable();
    return table;
}

void CubeAnimation::reset() {
    a_ = 32;
    b_ = 32;
    c_ = 0;
    cx_ = 160;
    cy_ = 100;
    forwardX_ = true;
    forwardY_ = true;
    frames_ = 0;
    projected_ = {};
}

CubePoint CubeAnimation::project(int x, int y, int z, std::uint8_t a, std::uint8_t b,
                                 std::uint8_t c) {
    // C++ division truncates toward zero, as the frame rules ask.
    const int x1 = (cosOf(b) * x - sinOf(b) * z) / 128;
    const int z1 = (cosOf(b) * z + sinOf(b) * x) / 128;
    const int y1 = (cosOf(c) * y - sinOf(c) * x1) / 128;
    const int x2 = (sinOf(c) * y + cosOf(c) * x1) / 128;
    const int y2 = (cosOf(a) * y1 + sinOf(a) * z1) / 128;
    const int z2 = (cosOf(a) * z1 - sinOf(a) * y1) / 128;
    // |z2| stays below 80, so the divisor is never 0.
    return {kEye * x2 / (kEye - z2), kEye * y2 / (kEye - z2)};
}

void CubeAnimation::step(int outerWidth, int outerHeight) {
    a_ = static_cast<std::uint8_t>(a_ - 2);
    b_ = static_cast<std::uint8_t>(b_ + 4);
    c_ = static_cast<std::uint8_t>(c_ - 2);
    bounce(cx_, forwardX_, outerWidth - 90);
    bounce(cy_, forwardY_, outerHeight - 130);
    for (int i = 0; i < kVertexCount; ++i)
        projected_[static_cast<std::size_t>(i)] =
            project(kVertices[i][0], kVertices[i][1], kVertices[i][2], a_, b_, c_);
    ++frames_;
}

CubePoint CubeAnimation::edgeStart(int edge) const {
    const CubePoint p = projected_[static_cast<std::size_t>(kEdges[edge][0])];
    return {cx_ + p.x, cy_ + p.y};
}

CubePoint CubeAnimation::edgeEnd(int edge) const {
    const CubePoint p = projected_[static_cast<std::size_t>(kEdges[edge][1])];
    return {cx_ + p.x, cy_ + p.y};
}

} // namespace zorv
