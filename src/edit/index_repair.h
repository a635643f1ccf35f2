// Rebuilding the index tables of header block 1 from the marker array of
// header block 3 while copying a DSS or DS2 file block by block. Data blocks
// are copied as stored (encrypted ones stay encrypted), so lengths and
// encryption stay as in the source.
//
// Index tables (all unused bytes 0xFF):
//   short index, header 1 bytes 86-133:  16 x (u16 block number, u8 frame offset)
//   long index,  header 1 bytes 134-325: 32 x (u32 block number, u16 frame offset)
// The block number counts 512-byte blocks from the start of the file (the
// first data block's number is the header-block count); the frame offset
// counts the frames that start in that block. Only ".ds2" files get a long
// index; the short index takes the entries whose block number fits 16 bits.
//
// A repair that fails after it created the destination removes it.
#pragma once

#include <cstdint>

// The export's work.
uint32_t VKTRepairIndexMarkers(const char* sourceDSSFileName, const char* destDSSFileName);
