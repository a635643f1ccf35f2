// File-level chunk operations that carry metadata from one WAV file to
// another after a conversion: one cue point, the LIST/INFO content, and the
// order of that content (the format history ISRF goes last).
#pragma once

#include <cstdint>

#include "wav/wav_file.h"

// Puts one cue point into a finished WAV file (replacing an existing one).
uint32_t insert_cue_chunk(const char* pcszWAVFileName, const CuePoint* pCuePoint);

// Copies the LIST/INFO content of the source into the destination, with
// the ISRF sub-chunk moved to the end. A source without a list leaves the
// destination as it is and still succeeds.
uint32_t copy_list_chunk(const char* pcszSrcFile, const char* pcszDestFile);

// Reorders a list content in place: every byte outside ISRF sub-chunks keeps
// its order, and the last ISRF sub-chunk found is appended at the end
// (earlier ones are dropped). The buffer holds (size - 4) bytes of content
// and 4 more bytes that are not looked at. Returns 1.
int move_format_history_chunk_to_end(uint8_t* pbyBuffer, uint32_t dwSize);

// The same reordering on the list of one file, in place: the DSS-to-WAV
// conversion runs it after writing the dictation header.
uint32_t reorder_list_chunk_in_file(const char* pcszWAVFileName);
