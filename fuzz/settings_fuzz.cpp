// libFuzzer target: the settings file's parser and its writing back.

#include "settings_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zorvfuzz::runSettingsInput(data, size);
    return 0;
}
