#pragma once
// Small helpers shared by the engine's hash tables and data builders: the sizing rule of the
// open-addressing tables, a primality test, the PJW string hashes, CRC-32 and an in-place sort of
// fixed-size records by a float key.
#include "platform/Types.h"

// Size of an open-addressing table for n entries: 11 below 9 entries, otherwise the smallest
// prime from (4n / 3) | 1 upwards, which keeps the load at or below three quarters and lets the
// double-hashing step (based on size - 2) reach every slot. Entry counts beyond three quarters of
// the 32-bit range have no such size; they get the largest 32-bit prime.
u32 ClassicHashTableSize(u32 n);

// Primality test for table sizes: false for every value up to 10 and for even values, otherwise
// trial division by odd numbers.
bool ClassicIsPrime(u32 a);

// PJW (ELF) hash of a NUL-terminated 8-bit text, characters read as signed bytes. The length in
// characters is stored in *length when asked.
u32 ClassicHashPjw(const char* text, u32* length = nullptr);

// PJW hash of a NUL-terminated 16-bit text, characters read as unsigned values. It is the hash
// GNU gettext catalogues use for their keys (each key byte widened to 16 bits).
u32 ClassicHashPjwWide(const char16_t* text, u32* length = nullptr);

// CRC-32 of the data with initial value 0 (zlib's crc32).
u32 ClassicCrc32(const void* data, u32 size);

// Sorts `count` records of `recordSize` bytes in place, ascending by the f32 key at `keyOffset`
// in each record; NaN keys sort last and equal keys keep their relative order. The order table
// holds two words per record: entry j's first word is the index before sorting of the record
// that ends at position j; entry i's second word is the position where the record that stood at
// index i ends.
void ClassicSortByFloatKey(void* records, u32 count, u32 recordSize, u32 keyOffset,
                           u32* orderTable);
