// Cutting a WAV recording along its spoken-instruction markers into a
// dictation file (the stretches between instructions) and an instruction
// file (the instructions), both in the source's wave format.
#pragma once

#include <cstdint>

#include "OrvaneVktapi.h"

uint32_t SeparateSpokenInstructions(const char* src, const char* dst, bool bCreateDictation, bool bCreateInstruction,
                                    ProgressCallback pfnCallback, intptr_t lCallback);
