#pragma once
// CMwCmdParamPath: the member-path operand, a plain record embedded in the node that reads or
// writes a member of a nod (an assignment to a member, a call of an action member, a list
// statement, a member expression).
//
// Where the access starts: at the script's object (the this flag, set in a new operand), at the
// nod a start expression gives (a Class expression), or at the nod a variable holds. From there
// the segments lead on: each segment is a member path naming one member, every segment but the
// last a member that holds a nod (the next segment is read on that nod), the last one the member
// the node reads or writes. A segment may take its element index from an index expression (a Num):
// the index expression of segment i, when there is one, replaces the segment's last item by an
// index item holding its current word before the segment is used. There are as many index
// expressions as segments, or one fewer (the last segment then takes none); null entries mean no
// index.
//
// Ownership: the start and index expressions are held with one reference each (taken when read);
// the segments are owned member paths. Binding binds the index expressions and the start
// expression with the owner's block, and finds the variable the access starts at.
//
// Use: RunIndexes, then Resolve, which walks to the nod that holds the last segment's member (the
// reached nod) and checks that member there; then Write (or Store, the write-back of a member
// expression) on the reached nod. A null nod met on the way logs "Param Access Failed : Null nod";
// a member the nod does not have stops the walk silently.
//
// Stored forms, inside the owner's chunk. Current: u32 form (written 0, ignored when read), bool
// this flag, the variable name (a string, only when the flag is clear), the start expression, u32
// n and n index expressions, u32 m and m segments in the member path's own stored form. Older
// (read only): the this flag, the name when the flag is clear, the index expressions, the segments.
#include "core/base/ClassicString.h"
#include "core/base/FastBuffer.h"
#include "platform/Types.h"

class CBlockVariable;
class CClassicArchive;
class CMwCmdExp;
class CMwCmdExpClass;
class CMwCmdExpNum;
class CMwCmdScript;
class CMwMemberPath;
class CMwNod;
class CMwTargetInfo;
struct CMwParamValue;

// The bytes of a member's value when it is plain data (a word, floats): what a write reads from
// its input and what a read may copy from the value it gives; 0 for the kinds whose value is
// something else (a string, a nod, a list) or nothing (an action, a procedure).
u32 ScriptPlainSize(u32 typeCode);

// What a write hands a member: nothing (a call), a nod (the nod itself), a narrow or a wide
// string, or plain bytes of a value (a word, 2, 3 or 12 floats). A write is made only when the
// member takes that form, so that no member reads more bytes than it was given, nor a string or a
// nod where it was given other data.
struct SScriptMemberInput {
    enum EForm : u32 { None, Nod, String, WideString, Plain };

    static SScriptMemberInput Nothing() { return {None, nullptr, 0}; }
    static SScriptMemberInput NodOf(CMwNod* nod) { return {Nod, nod, 0}; }
    static SScriptMemberInput Bytes(const void* value, u32 size) { return {Plain, value, size}; }
    // The value of an expression that has run: its nod for a Class value (null for a nod that is
    // gone), else the address of its value, in the form of its kind.
    static SScriptMemberInput ValueOf(CMwCmdExp* exp);

    EForm Form;
    // The nod itself, or the address of the value.
    const void* Value;
    // Bytes of a plain value.
    u32 Size;
};

class CMwCmdParamPath {
public:
    // The write a statement makes on the reached member.
    enum EWrite : u32 { Write_Set, Write_Add, Write_Sub };

    explicit CMwCmdParamPath(CMwCmdScript* owner) : m_Owner(owner) {}
    // Gives the expressions back and frees the segments.
    ~CMwCmdParamPath();
    CMwCmdParamPath(const CMwCmdParamPath&) = delete;
    CMwCmdParamPath& operator=(const CMwCmdParamPath&) = delete;

    // Reads or writes the current form (Archive) or reads the older one (ArchiveOld), in the
    // owner's chunk `chunkId`. Reading into an operand that holds segments or expressions already,
    // a start expression that is not a Class expression, an index expression that is not a Num,
    // a path without segments or with a number of index expressions other than the number of
    // segments or one fewer is invalid data.
    void Archive(CClassicArchive& archive, u32 chunkId);
    void ArchiveOld(CClassicArchive& archive, u32 chunkId);

    // Binds the index expressions and the start expression with the block; without this flag and
    // start expression, finds the variable the access starts at (with the unknown-variable
    // warning when no block on the chain declares it).
    void Bind(CMwCmdScript* parent);
    // Passes the script's object to the index expressions and the start expression.
    void SetThis(CMwNod* nod);
    // Runs every index expression. Always succeeds: 1.
    u32 RunIndexes();
    // Walks from the start nod through the segments but the last (see above) and checks the last
    // segment's member on the nod reached, which the operand keeps. 1 when the member can be
    // accessed there, else 0. A start nod that is gone counts as null.
    u32 Resolve();
    // Writes the member the last Resolve reached: SetParam, AddParam or SubParam of the reached
    // nod along the last segment. 2, nothing written, when no nod was reached or it is gone, when
    // the member does not take the input's form, or when the member's flags or the reflection
    // bounds refuse it; else the write's result.
    u32 Write(EWrite write, const SScriptMemberInput& input);
    // Reads the member the last Resolve reached (GetParam of the reached nod along the last
    // segment) and describes it (the record of its kind, as the path's target). 1 when read;
    // 0 when no nod was reached, it is gone, or the read fails.
    u32 Read(CMwParamValue& value, CMwTargetInfo& target);
    // The write-back of the member expression that owns the operand: the last segment checked
    // on the reached nod (its code when not 0), then the owner's value set there (Write with
    // SScriptMemberInput::ValueOf the owner); 2 when the owner is not an expression.
    u32 Store();
    // The same with the input given (an owner whose member takes another form than its value).
    u32 Store(const SScriptMemberInput& input);

    // Appends a segment (the operand takes it) and an index expression (one reference taken; may
    // be null), as the readers do.
    void AddSegment(CMwMemberPath* segment);
    void AddIndex(CMwCmdExpNum* index);
    // Replaces the start expression (one reference taken on the new one, the old one given back).
    void SetStart(CMwCmdExpClass* start);

    CMwCmdScript* m_Owner;
    // Set by Resolve; not counted, so it may name a nod that is gone by the next write (Write
    // checks it).
    CMwNod* m_Reached = nullptr;
    CMwCmdExpClass* m_Start = nullptr;
    CFastArray<CMwMemberPath*> m_Segments;
    CFastArray<CMwCmdExpNum*> m_Indexes;
    u32 m_This = 1;
    CClassicString m_VariableName;
    // Set by Bind when the access starts at a variable.
    CBlockVariable* m_Variable = nullptr;

private:
    // The start, the index expressions and the segments, in both forms.
    void ArchiveStart(CClassicArchive& archive, u32 chunkId);
    void ArchiveLists(CClassicArchive& archive, u32 chunkId);
    void ArchiveHead(CClassicArchive& archive, u32 chunkId);
    // The nod the access starts at.
    CMwNod* GetStartNod();
    // Segment i takes its index expression's word as its last item, when it has one.
    void ApplyIndex(u32 i);
};
