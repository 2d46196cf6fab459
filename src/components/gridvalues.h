#pragma once
// The grid's value parsing, shared by the model, its sort keys and the tests.

#include <string_view>

namespace zorv {

inline constexpr const char* kFloatOverflowText = "Floating point overflow";
inline constexpr const char* kNotIntegerText = "Cell does not contain integer value";

// A text under ssNumber: a number (rounded to the grid's 40-bit mantissa,
// held exactly by a double), a non-number, or a text whose conversion
// overflows.
struct GridNumber {
    enum Status : unsigned char { Number, NotANumber, Overflow };
    Status status = NotANumber;
    double value = 0;
};

GridNumber parseGridNumber(std::string_view text);

} // namespace zorv
