// One libFuzzer program per target; FUZZ_TARGET_INDEX picks it from the
// table.
#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return kFuzzTargets[FUZZ_TARGET_INDEX].run(data, size);
}
