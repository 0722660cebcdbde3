#pragma once
// The music conversion of the custom-data import: an OGG file of the player's, neither decoded
// nor checked, copied through the enciphered stream into the game's music file (".mux": the
// stream's 14-byte header with a fresh salt, then every source byte enciphered, one for one).
#include "core/base/ClassicString.h"

// Seeds the process-wide generator with the wall clock's seconds (two conversions within one
// second draw the same salt), then reads the source in 1024-byte pieces and writes the target
// through a temporary file, which replaces the target only once every byte is written and
// flushed. False, with a log line, when the source cannot be read whole (missing, 4 GB or more,
// shorter than its size while it is read) or the target cannot be written; the target is then as
// it was, and a missing target stays missing.
bool ConvertMusicFile(CClassicWideStringRef source, CClassicWideStringRef target);
