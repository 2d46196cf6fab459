// libFuzzer target: the table decoder against the tree walk; any difference
// aborts, which the fuzzer reports as a finding.

#include "decoder_diff_input.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (zorvfuzz::firstDecoderDifference(data, size) >= 0)
        std::abort();
    return 0;
}
