// Multi-sample descriptions (.qvi): the reader takes a path, so each input
// is written to a file first. Inputs whose first byte is odd are padded with
// zeros to the full description size.
#include <memory>

#include "core/CMultiSample.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::unique_ptr<CMultiSample> multiSample = std::make_unique<CMultiSample>();
    fuzz::Input in{data, size};
    const bool pad = in.Byte() & 1;
    fixtures::Bytes file(in.data, in.data + in.size);
    if (pad && file.size() < CMultiSample::kFileSize) file.resize(CMultiSample::kFileSize, 0);
    const std::string path = fuzz::PathOf("m.qvi");
    if (!fixtures::WriteFile(path, file)) return 0;
    multiSample->Open(path.c_str());
    return 0;
}
