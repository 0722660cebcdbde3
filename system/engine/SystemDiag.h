#pragma once
// The one-line description of a nod pointer in diagnostic texts: by the file it was loaded from,
// by its name id, or as an invalid pointer. The indentation and pending context lines it writes
// first are core/nod/MwDiag.h's.
#include "core/base/ClassicString.h"

class CMwNod;

// Appends the description of the nod to out, after the diagnostic prefix (DiagWritePrefix) when
// withPrefix is set and something is written:
// - a pointer that is not a live nod: "!! Invalid <label> pointer=0x<address>" (the full address
//   in upper-case hexadecimal, at least 8 digits), result 0;
// - a nod bound to a file: "<label>=<full file name>" (characters above 254 as '_'), result 1;
// - a nod with a name: "<label> MwId=<name>", result 1;
// - any other nod: nothing, result 1.
i32 DiagDescribeNod(CClassicString& out, const char* label, const CMwNod* nod, bool withPrefix);
