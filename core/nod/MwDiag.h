#pragma once
// The process-wide state of nod descriptions: the indentation by nesting depth and the header
// lines of enclosing contexts that have not been written yet.
#include "core/base/ClassicString.h"

class CMwNod;

// Adds / removes one three-blank indentation step.
void DiagIndentIn();
void DiagIndentOut();
// Adds a pending header line (the current indentation and the text) / removes the last one.
void DiagPushContext(const char* text);
void DiagPopContext();
// Appends the pending header lines (once) and then the current indentation, which starts with
// "\r\n" so that every use begins a new line.
void DiagWritePrefix(CClassicString& out);

// True when the pointer designates a live nod. Answered from the registry of live nods
// (CMwNod::IsValidNod), so a pointer it does not know is never read.
bool IsValidNodPointerGuarded(const void* pointer);
