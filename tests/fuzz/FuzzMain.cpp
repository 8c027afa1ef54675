// The libFuzzer entry of one target, named by TAVIX_FUZZ_TARGET.

#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tavix::fuzz::TAVIX_FUZZ_TARGET(data, size);
    return 0;
}
