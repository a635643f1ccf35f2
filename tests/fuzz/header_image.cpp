// Fuzz target: header image <-> record in both directions and sizes, and the classes.
#include <cstdint>
#include <cstring>
#include <vector>

#include "metadata/header_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t length = static_cast<uint32_t>(size < 1536 ? size : 1536);
    std::vector<uint8_t> image(data, data + length);
    ClassifyZRM2Image(image.data(), length);
    IsZRM2DictOrInsImage(image.data(), length);
    for (uint32_t record_size : {ZRM2HEADERINFO_SIZE_SHORT, ZRM2HEADERINFO_SIZE_FULL}) {
        // A short record is only that long: the mapping must stay inside it.
        std::vector<uint8_t> storage(record_size);
        auto* record = reinterpret_cast<ZRM2HeaderInfo*>(storage.data());
        std::memcpy(storage.data(), &record_size, 4);
        if (MapZRM2HeaderDataToZRM2HeaderStruct(image.data(), length, record) == 0)
            MapZRM2HeaderStructToZRM2HeaderData(record, image.data(), length);
    }
    return 0;
}
