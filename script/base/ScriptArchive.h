#pragma once
// The shared readers of the script chunks. Scripts come from files written elsewhere, so every
// child reference, count and type a chunk holds is checked as it is read. What fails a check is
// invalid data: one log line,
//
//   "Script Warning : Invalid script data in <class name>, chunk 0x<8 hex digits>"
//
// and the read fails through the archive's failure road (CClassicBufferException with
// kClassicBufferErrorBadData), which releases the half-built tree: the operation that started the
// read catches it.
//
// Children. A node holds each child with one counted reference. Reading, a child reference is
// refused when it is null where the child is required; when the child is not of the class the
// field accepts (a kind test along the C++ bases) or, for an expression, not of the value kind the
// field needs; when the child's body is still being read (an ancestor: the references of a cycle
// never reach 0, and binding or running it never ends); and when another node holds the child
// already (a tree node has one owner: with two, binding and running visit it once per owner, which
// doubles with every level of a crafted tree, and its parent would be whichever bound it last).
// A field is read once: a chunk that would replace a child read before is refused too, since the
// archive may still name the first child in a later reference.
//
// Each function serves both directions: writing, it writes the values it is given.
#include "core/base/ClassicArchive.h"
#include "platform/Types.h"

class CMwNod;

// Any value kind (for children that are not expressions, or fields that take every kind).
inline constexpr i32 kScriptAnyValueKind = -2;
// The most items one stored list may hold: more is invalid data.
inline constexpr u32 kScriptMaxItems = 0x400000;

// What a child must be: a nod of the class (or of a class derived from it) and, when ValueKind is
// not kScriptAnyValueKind, an expression of that value kind.
struct SScriptChildKind {
    u32 ClassId;
    i32 ValueKind = kScriptAnyValueKind;
};

// Logs the invalid-data line for the owner's chunk and fails the read.
[[noreturn]] void ScriptInvalidData(CMwNod* owner, u32 chunkId);

// One child reference. Writing: the reference. Reading into an empty slot: the child read, holding
// one reference; a null child where `required` is set, a child that fails the checks above, or a
// slot that holds a child already, is invalid data.
void ScriptArchiveChild(CClassicArchive& archive, CMwNod* owner, u32 chunkId, CMwNod*& child,
                        const SScriptChildKind& kind, bool required);

// The two typed forms every chunk reader uses: "a required child of this kind" and "an optional
// child of this kind". The kind is the field's class unless given.
template <class T>
void ScriptArchiveTypedChild(CClassicArchive& archive, CMwNod* owner, u32 chunkId, T*& child,
                             const SScriptChildKind& kind, bool required) {
    CMwNod* nod = child;
    ScriptArchiveChild(archive, owner, chunkId, nod, kind, required);
    child = static_cast<T*>(nod);
}
template <class T>
void ScriptArchiveRequiredChild(CClassicArchive& archive, CMwNod* owner, u32 chunkId, T*& child,
                                const SScriptChildKind& kind = {T::s_ClassId}) {
    ScriptArchiveTypedChild(archive, owner, chunkId, child, kind, true);
}
template <class T>
void ScriptArchiveOptionalChild(CClassicArchive& archive, CMwNod* owner, u32 chunkId, T*& child,
                                const SScriptChildKind& kind = {T::s_ClassId}) {
    ScriptArchiveTypedChild(archive, owner, chunkId, child, kind, false);
}

// Gives back the reference the owner holds on a child and empties the slot. A script node whose
// parent link names the owner forgets it, so that a child another holder keeps alive never
// points at a gone owner.
void ScriptReleaseChild(CMwNod* owner, CMwNod*& child);
template <class T>
void ScriptReleaseChild(CMwNod* owner, T*& child) {
    CMwNod* nod = child;
    ScriptReleaseChild(owner, nod);
    child = nullptr;
}

// The count of a stored list. Reading, a count above kScriptMaxItems, or above what the stream
// still holds when each item takes at least `valuesPerItem` archive values (4 bytes each in
// binary, one line in text), is invalid data.
void ScriptArchiveCount(CClassicArchive& archive, CMwNod* owner, u32 chunkId, u32& count,
                        u32 valuesPerItem);
