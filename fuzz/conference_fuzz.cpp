// libFuzzer target: the conference reader over arbitrary header and text bytes.

#include "conference_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zorvfuzz::runConferenceInput(zorvfuzz::splitConferenceInput(data, size));
    return 0;
}
