// Where a file's dictation header lives, decided by its extension (case
// ignored): ".dss"/".ds2" (and longer extensions that start so) the header
// blocks themselves, ".mp3" (likewise) our private frame in the ID3v2 tag,
// any other name the ICMT sub-chunk of a WAV file's LIST/INFO chunk.
#pragma once

#include <string>

#include "platform/path.h"

enum class MetadataFileKind { Dss, Mp3, Wav };

inline MetadataFileKind KindOfMetadataFile(const char* name, bool bForceDss = false) {
    if (bForceDss) return MetadataFileKind::Dss;
    const std::string ext = vkt::platform::extension_of(name ? name : "");
    if (vkt::platform::extension_starts_with(ext, ".dss", 4) || vkt::platform::extension_starts_with(ext, ".ds2", 4))
        return MetadataFileKind::Dss;
    if (vkt::platform::extension_starts_with(ext, ".mp3", 4)) return MetadataFileKind::Mp3;
    return MetadataFileKind::Wav;
}
