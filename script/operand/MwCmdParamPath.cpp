#include "script/operand/MwCmdParamPath.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "core/math/GmColor.h"
#include "core/math/Iso.h"
#include "core/math/Quat.h"
#include "core/math/Vec.h"
#include "core/nod/MwMemberPath.h"
#include "script/block/BlockVariable.h"
#include "script/expression/MwCmdExpClass.h"
#include "script/expression/MwCmdExpNum.h"
#include "script/operand/MwCmdIdentRef.h"

#include <algorithm>

u32 ScriptPlainSize(u32 typeCode) {
    switch (typeCode) {
        case MwType_Bool:
        case MwType_Enum:
        case MwType_Integer:
        case MwType_IntegerRange:
        case MwType_Natural:
        case MwType_NaturalRange:
        case MwType_Real:
        case MwType_RealRange:
            return sizeof(u32);
        case MwType_Vec2:
            return sizeof(Vec2);
        case MwType_Vec3:
            return sizeof(Vec3);
        case MwType_Color:
            return sizeof(GmColorRgb);
        case MwType_Vec4:
            return sizeof(Vec4);
        case MwType_Quat:
            return sizeof(Quat);
        case MwType_Iso3:
            return sizeof(Iso3);
        case MwType_Iso4:
            return sizeof(Iso4);
        default:
            return 0;
    }
}

namespace {

bool IsList(u32 typeCode) {
    return typeCode == MwType_RefBuffer || MwContainerElementType(typeCode) != MwType_Count;
}

// Whether the member the path designates takes the input: a member's descriptor reads its input
// as its own kind (a nod, a string object, or as many bytes as its value has), so any other input
// would be read as what it is not. A whole list takes on Add an element of its element kind and
// on Sub the u32 position of the element to remove; its Set changes nothing.
bool TakesInput(const CMwMemberPath& path, CMwCmdParamPath::EWrite write,
                const SScriptMemberInput& input) {
    CMwTargetInfo target;
    if (path.GetTargetInfo(&target) != 0)
        return false;
    u32 type = target.Get().TypeCode;
    if (IsList(type)) {
        if (write == CMwCmdParamPath::Write_Set)
            return true;
        if (write == CMwCmdParamPath::Write_Sub)
            return input.Form == SScriptMemberInput::Plain && input.Size == sizeof(u32);
        type = static_cast<const CMwMemberInfoContainer&>(target.Get()).ElementType;
    }
    if (type == MwType_Action || type == MwType_Proc)
        return true;
    switch (input.Form) {
        case SScriptMemberInput::None:
            return true;
        case SScriptMemberInput::Nod:
            return type == MwType_Class;
        case SScriptMemberInput::String:
            return type == MwType_String;
        case SScriptMemberInput::WideString:
            return type == MwType_StringInt;
        case SScriptMemberInput::Plain:
            return input.Size != 0 && ScriptPlainSize(type) == input.Size;
    }
    return false;
}

void LogNullNod() {
    ClassicLogFormatLine("Param Access Failed : Null nod");
}

} // namespace

SScriptMemberInput SScriptMemberInput::ValueOf(CMwCmdExp* exp) {
    void* value = exp->GetValuePtr();
    switch (exp->m_ValueKind) {
        case CmdExpValue_Class: {
            CMwNod* nod = *static_cast<CMwNod* const*>(value);
            return NodOf(CMwNod::IsValidNod(nod) ? nod : nullptr);
        }
        case CmdExpValue_String:
            return {String, value, 0};
        case CmdExpValue_Vec2:
            return Bytes(value, sizeof(Vec2));
        case CmdExpValue_Vec3:
            return Bytes(value, sizeof(Vec3));
        case CmdExpValue_Iso4:
            return Bytes(value, sizeof(Iso4));
        case CmdExpValue_Bool:
        case CmdExpValue_Enum:
        case CmdExpValue_Num:
            return Bytes(value, sizeof(u32));
        default:
            return Bytes(nullptr, 0); // taken by no member
    }
}

CMwCmdParamPath::~CMwCmdParamPath() {
    ScriptReleaseChild(m_Owner, m_Start);
    for (u32 i = 0; i < m_Indexes.m_Count; ++i)
        ScriptReleaseChild(m_Owner, m_Indexes.m_Items[i]);
    for (u32 i = 0; i < m_Segments.m_Count; ++i)
        delete m_Segments.m_Items[i];
}

// ---------------------------------------------------------------------------------------------
// Stored forms

void CMwCmdParamPath::Archive(CClassicArchive& archive, u32 chunkId) {
    u32 form = 0;
    archive.SerializeUInts(&form, 1);
    ArchiveHead(archive, chunkId);
    ArchiveStart(archive, chunkId);
    ArchiveLists(archive, chunkId);
}

void CMwCmdParamPath::ArchiveOld(CClassicArchive& archive, u32 chunkId) {
    ArchiveHead(archive, chunkId);
    ArchiveLists(archive, chunkId);
}

void CMwCmdParamPath::ArchiveHead(CClassicArchive& archive, u32 chunkId) {
    // One stored operand per owner: a second one could drop expressions that the archive may
    // still name.
    if (!archive.m_Writing && (m_Start || m_Indexes.m_Count != 0 || m_Segments.m_Count != 0))
        ScriptInvalidData(m_Owner, chunkId);
    archive.SerializeBools(&m_This, 1);
    if (!m_This)
        archive.SerializeStrings(&m_VariableName, 1);
}

void CMwCmdParamPath::ArchiveStart(CClassicArchive& archive, u32 chunkId) {
    ScriptArchiveOptionalChild(archive, m_Owner, chunkId, m_Start,
                               ScriptOperandKind<CMwCmdExpClass>());
}

void CMwCmdParamPath::ArchiveLists(CClassicArchive& archive, u32 chunkId) {
    u32 indexCount = m_Indexes.m_Count;
    ScriptArchiveCount(archive, m_Owner, chunkId, indexCount, 1);
    if (!archive.m_Writing) {
        m_Indexes.SetCount(indexCount);
        std::fill_n(m_Indexes.m_Items, indexCount, nullptr);
    }
    for (u32 i = 0; i < indexCount; ++i)
        ScriptArchiveOptionalChild(archive, m_Owner, chunkId, m_Indexes.m_Items[i],
                                   ScriptOperandKind<CMwCmdExpNum>());

    u32 segmentCount = m_Segments.m_Count;
    ScriptArchiveCount(archive, m_Owner, chunkId, segmentCount, 1);
    if (!archive.m_Writing) {
        m_Segments.SetCount(segmentCount);
        std::fill_n(m_Segments.m_Items, segmentCount, nullptr);
    }
    for (u32 i = 0; i < segmentCount; ++i) {
        if (!archive.m_Writing)
            m_Segments.m_Items[i] = new CMwMemberPath;
        m_Segments.m_Items[i]->Archive(archive);
    }
    if (!archive.m_Writing &&
        (segmentCount == 0 || (indexCount != segmentCount && indexCount + 1 != segmentCount)))
        ScriptInvalidData(m_Owner, chunkId);
}

// ---------------------------------------------------------------------------------------------
// Binding and running

void CMwCmdParamPath::Bind(CMwCmdScript* parent) {
    for (u32 i = 0; i < m_Indexes.m_Count; ++i)
        if (CMwCmdExpNum* index = m_Indexes.m_Items[i])
            index->Bind(parent);
    if (m_Start)
        m_Start->Bind(parent);
    m_Variable = !m_This && !m_Start ? ScriptFindVariable(parent, m_VariableName) : nullptr;
}

void CMwCmdParamPath::SetThis(CMwNod* nod) {
    for (u32 i = 0; i < m_Indexes.m_Count; ++i)
        if (CMwCmdExpNum* index = m_Indexes.m_Items[i])
            index->SetThis(nod);
    if (m_Start)
        m_Start->SetThis(nod);
}

u32 CMwCmdParamPath::RunIndexes() {
    for (u32 i = 0; i < m_Indexes.m_Count; ++i)
        if (CMwCmdExpNum* index = m_Indexes.m_Items[i])
            index->Run();
    return 1;
}

CMwNod* CMwCmdParamPath::GetStartNod() {
    CMwNod* nod = nullptr;
    if (m_This) {
        nod = m_Owner->m_Parent ? m_Owner->m_Parent->GetThis() : nullptr;
    } else if (m_Start) {
        m_Start->Run();
        nod = m_Start->m_Value;
    } else if (m_Variable) {
        nod = m_Variable->GetNod();
    }
    // The object and a Class value hold no reference: a nod destroyed since is not walked.
    return CMwNod::IsValidNod(nod) ? nod : nullptr;
}

void CMwCmdParamPath::ApplyIndex(u32 i) {
    CMwMemberPath& segment = *m_Segments.m_Items[i];
    if (i >= m_Indexes.m_Count || !m_Indexes.m_Items[i] || segment.m_Count == 0)
        return;
    segment.m_Values[0] = m_Indexes.m_Items[i]->m_Value;
    segment.m_Kinds[0] = MwPathItem_Index;
}

u32 CMwCmdParamPath::Resolve() {
    // A write-back goes where the last run read from, or nowhere.
    m_Reached = nullptr;
    if (m_Segments.m_Count == 0)
        return 0;
    CMwNod* nod = GetStartNod();
    const u32 last = m_Segments.m_Count - 1;
    for (u32 i = 0; i < last; ++i) {
        ApplyIndex(i);
        if (!nod) {
            LogNullNod();
            return 0;
        }
        CMwMemberPath& segment = *m_Segments.m_Items[i];
        segment.Reset();
        if (nod->CheckParam(&segment) != MwParam_Ok)
            return 0;
        segment.Reset();
        CMwParamValue value;
        if (nod->GetParam(&segment, &value) != MwParam_Ok)
            return 0;
        // A member that holds a nod reads as the nod itself; any other member's value is not one.
        nod = static_cast<CMwNod*>(value.Value);
        if (nod && !CMwNod::IsValidNod(nod))
            return 0;
    }
    if (m_Indexes.m_Count == m_Segments.m_Count)
        ApplyIndex(last);
    if (!nod) {
        LogNullNod();
        return 0;
    }
    m_Reached = nod;
    CMwMemberPath& segment = *m_Segments.m_Items[last];
    segment.Reset();
    return nod->CheckParam(&segment) == MwParam_Ok ? 1 : 0;
}

u32 CMwCmdParamPath::Write(EWrite write, const SScriptMemberInput& input) {
    if (!m_Reached || m_Segments.m_Count == 0 || !CMwNod::IsValidNod(m_Reached))
        return MwParam_NotFound;
    CMwMemberPath& segment = *m_Segments.m_Items[m_Segments.m_Count - 1];
    if (!TakesInput(segment, write, input))
        return MwParam_NotFound;
    segment.Reset();
    switch (write) {
        case Write_Set:
            return m_Reached->SetParam(&segment, input.Value);
        case Write_Add:
            return m_Reached->AddParam(&segment, input.Value);
        case Write_Sub:
            return m_Reached->SubParam(&segment, input.Value);
    }
    return MwParam_NotFound;
}

u32 CMwCmdParamPath::Read(CMwParamValue& value, CMwTargetInfo& target) {
    if (!m_Reached || m_Segments.m_Count == 0 || !CMwNod::IsValidNod(m_Reached))
        return 0;
    CMwMemberPath& segment = *m_Segments.m_Items[m_Segments.m_Count - 1];
    if (segment.GetTargetInfo(&target) != 0)
        return 0;
    segment.Reset();
    const u32 result = m_Reached->GetParam(&segment, &value);
    segment.Reset();
    return result == MwParam_Ok ? 1 : 0;
}

u32 CMwCmdParamPath::Store() {
    if (!m_Owner->IsKindOf(CMwCmdExp::s_ClassId))
        return MwParam_NotFound;
    return Store(SScriptMemberInput::ValueOf(static_cast<CMwCmdExp*>(m_Owner)));
}

u32 CMwCmdParamPath::Store(const SScriptMemberInput& input) {
    if (!m_Reached || m_Segments.m_Count == 0 || !CMwNod::IsValidNod(m_Reached))
        return MwParam_NotFound;
    CMwMemberPath& segment = *m_Segments.m_Items[m_Segments.m_Count - 1];
    segment.Reset();
    if (const u32 check = m_Reached->CheckParam(&segment); check != MwParam_Ok)
        return check;
    return Write(Write_Set, input);
}

// ---------------------------------------------------------------------------------------------
// Building

void CMwCmdParamPath::AddSegment(CMwMemberPath* segment) {
    if (!segment)
        return;
    m_Segments.Grow(1);
    m_Segments.m_Items[m_Segments.m_Count - 1] = segment;
}

void CMwCmdParamPath::AddIndex(CMwCmdExpNum* index) {
    if (index)
        index->AddRef();
    m_Indexes.Grow(1);
    m_Indexes.m_Items[m_Indexes.m_Count - 1] = index;
}

void CMwCmdParamPath::SetStart(CMwCmdExpClass* start) {
    if (start)
        start->AddRef();
    ScriptReleaseChild(m_Owner, m_Start);
    m_Start = start;
}
