// Joining DSS or DS2 recordings of our own family (licensee 3) and one
// compression identifier into one new file, frame by frame, without decoding.
// The new file takes its headers from the first source, its recording end
// date and time from the last, and its lengths from the frames written. It
// carries no spoken-instruction markers and no index tables.
//
// The sources are one text of names separated by "?" (a character no file
// name on the recorders' platform can hold); empty names between separators
// are skipped. A failed join leaves the destination as far as it was written,
// completed so that it holds the frames copied until then.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"

// The names of a "?"-separated list, empty fields left out.
std::vector<std::string> SplitSourceFileNameList(const char* pcszSourceFileNameList);

// The export's work. Progress runs from 0 to 100, one step per source;
// lCallbackProgStart and lCallbackProgEnd are only written to the trace by
// the export.
uint32_t VKTJoinDSS(const char* pcszSourceFileNameList, const char* pcszDestinationFileName,
                    ProgressCallback pfnCallback, intptr_t lCallback);
