// libFuzzer target: a user record's decoding, as zorvtool show prints it.

#include "record_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zorvfuzz::runRecordInput(data, size);
    return 0;
}
