/* The public header seen by a C compiler: the layout it gives must be the
 * one C++ sees (checked by exports_test.cpp against fixed numbers). */
#include <stddef.h>

#include "OrvaneVktapi.h"

size_t orvkt_c_layout(size_t *out, size_t capacity);

size_t orvkt_c_layout(size_t *out, size_t capacity) {
    const size_t values[] = {
        sizeof(WAVEFORMATEX),
        offsetof(WAVEFORMATEX, nSamplesPerSec),
        offsetof(WAVEFORMATEX, nAvgBytesPerSec),
        offsetof(WAVEFORMATEX, nBlockAlign),
        offsetof(WAVEFORMATEX, wBitsPerSample),
        offsetof(WAVEFORMATEX, cbSize),
        sizeof(ZRM2HeaderInfo),
        offsetof(ZRM2HeaderInfo, achH1Text),
        offsetof(ZRM2HeaderInfo, dwH1Value),
        offsetof(ZRM2HeaderInfo, bMoreHeaderBlocks),
        offsetof(ZRM2HeaderInfo, byH1Byte69),
        offsetof(ZRM2HeaderInfo, wH2Version),
        offsetof(ZRM2HeaderInfo, wCompressionId),
        offsetof(ZRM2HeaderInfo, dwLengthMs),
        offsetof(ZRM2HeaderInfo, aachText),
        offsetof(ZRM2HeaderInfo, achTextExt1),
        offsetof(ZRM2HeaderInfo, achTextExt2),
    };
    size_t n = sizeof values / sizeof values[0];
    for (size_t i = 0; i < n && i < capacity; ++i) out[i] = values[i];
    return n;
}
