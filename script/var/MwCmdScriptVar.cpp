#include "script/var/MwCmdScriptVar.h"

#include "core/nod/MwVirtualMember.h"
#include "script/block/BlockVariable.h"

#include <cmath>
#include <cstring>

namespace {
constexpr const char* kXy[] = {"x", "y"};
constexpr const char* kXyz[] = {"x", "y", "z"};
// The record's own list: the names are the attached enumeration's, kept by each nod.
constexpr const char* kNoNames[] = {nullptr};
} // namespace

// No field: every member is read and written through the class's own operations (flags 0x33;
// the Class member also adds and removes, 0xFF).
#define CMWCMDSCRIPTVARBOOL_MEMBERS(X)                                                             \
    X(Bool, 0x01069000, "Bool", MW_VIRTUAL(""), "Bool", 0x33, 0x380)
#define CMWCMDSCRIPTVARCLASS_MEMBERS(X)                                                            \
    X(Class, 0x0106a000, "Class", MW_VIRTUAL(""), "Class", 0xFF, 0x380, &CMwNod::s_ClassInfo, 0)
#define CMWCMDSCRIPTVARFLOAT_MEMBERS(X)                                                            \
    X(Real, 0x0106b000, "Float", MW_VIRTUAL(""), "Float", 0x33, 0x380)
#define CMWCMDSCRIPTVARINT_MEMBERS(X)                                                              \
    X(Integer, 0x0106c000, "Int", MW_VIRTUAL(""), "Int", 0x33, 0x380)
#define CMWCMDSCRIPTVARISO4_MEMBERS(X)                                                             \
    X(Iso4, 0x0106d000, "Iso4", MW_VIRTUAL(""), "Iso4", 0x33, 0x380)
#define CMWCMDSCRIPTVARSTRING_MEMBERS(X)                                                           \
    X(String, 0x0106e000, "String", MW_VIRTUAL(""), "String", 0x33, 0x380)
#define CMWCMDSCRIPTVARVEC2_MEMBERS(X)                                                             \
    X(Vec2, 0x0106f000, "Vec2", MW_VIRTUAL(""), "Vec2", 0x33, 0x380, kXy)
#define CMWCMDSCRIPTVARVEC3_MEMBERS(X)                                                             \
    X(Vec3, 0x01070000, "Vec3", MW_VIRTUAL(""), "Vec3", 0x33, 0x380, kXyz)
#define CMWCMDSCRIPTVARENUM_MEMBERS(X)                                                             \
    X(Enum, 0x010a6000, "Enum", MW_VIRTUAL(""), "Enum", 0x33, 0x380, "", kNoNames)

MW_DEFINE_CLASS(CMwCmdScriptVar, MwFactory<CMwCmdScriptVar>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdScriptVarBool, MwFactory<CMwCmdScriptVarBool>, CMWCMDSCRIPTVARBOOL_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdScriptVarClass, MwFactory<CMwCmdScriptVarClass>, CMWCMDSCRIPTVARCLASS_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdScriptVarFloat, MwFactory<CMwCmdScriptVarFloat>, CMWCMDSCRIPTVARFLOAT_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdScriptVarInt, MwFactory<CMwCmdScriptVarInt>, CMWCMDSCRIPTVARINT_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdScriptVarIso4, MwFactory<CMwCmdScriptVarIso4>, CMWCMDSCRIPTVARISO4_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdScriptVarString, MwFactory<CMwCmdScriptVarString>,
                CMWCMDSCRIPTVARSTRING_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdScriptVarVec2, MwFactory<CMwCmdScriptVarVec2>, CMWCMDSCRIPTVARVEC2_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdScriptVarVec3, MwFactory<CMwCmdScriptVarVec3>, CMWCMDSCRIPTVARVEC3_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdScriptVarEnum, MwFactory<CMwCmdScriptVarEnum>, CMWCMDSCRIPTVARENUM_MEMBERS,
                MW_NO_CHUNKS);

// ---------------------------------------------------------------------------------------------
// Attachment

CMwCmdScriptVar::~CMwCmdScriptVar() {
    if (m_Variable)
        m_Variable->RemoveDependant(this);
}

void CMwCmdScriptVar::Attach(CBlockVariable* variable) {
    if (variable != m_Variable) {
        if (m_Variable)
            m_Variable->RemoveDependant(this);
        m_Variable = variable;
        if (variable)
            variable->AddDependant(this);
    }
    if (variable)
        m_Id.SetFromName(variable->m_Name.GetText());
}

void CMwCmdScriptVar::OnDependencyDestroyed(CMwNod* nod) {
    if (nod == m_Variable)
        m_Variable = nullptr;
    Super::OnDependencyDestroyed(nod);
}

void CMwCmdScriptVar::OnDependencyReleased(CMwNod* nod) {
    // Forgotten first: leaving the nod's dependants may delete it.
    if (nod == m_Variable)
        m_Variable = nullptr;
    Super::OnDependencyReleased(nod);
}

void CMwCmdScriptVarEnum::Attach(CBlockVariable* variable) {
    Super::Attach(variable);
    m_Names.SetCount(0);
    if (!variable)
        return;
    const CMwClassInfo* info = FindClassInfo(variable->m_Id);
    const CMwMemberInfoEnum* enumeration = nullptr;
    for (u32 i = 0; info && i < info->m_MemberCount; ++i) {
        const CMwMemberInfo* member = info->m_MemberInfos[i];
        if (member && member->MemberId == variable->m_Id && member->TypeCode == MwType_Enum)
            enumeration = static_cast<const CMwMemberInfoEnum*>(member);
    }
    if (!enumeration || !enumeration->EnumNames)
        return;
    m_Names.SetCount(enumeration->EnumCount);
    for (u32 i = 0; i < enumeration->EnumCount; ++i) {
        const char* name = enumeration->EnumNames[i];
        m_Names.m_Items[i].Assign(name ? name : "");
    }
}

// ---------------------------------------------------------------------------------------------
// Member operations

namespace {

// The class's own member, on the attached variable: `own` answers; 2 without a variable. Any
// other member goes to CMwCmdScriptVar.
template <class C, class Own>
u32 GetOwn(C* nod, CMwMemberPath* path, CMwParamValue* out, Own own) {
    return MwGetParamVirtual(nod, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != C::s_ClassId)
            return MwNotOwnMember;
        return nod->m_Variable ? own(*nod->m_Variable) : u32(MwParam_NotFound);
    });
}

// A write into the variable: 2 without a variable or a value; the assigned flag set by a write
// that `own` accepts (0).
template <class C, class Own>
u32 SetOwn(C* nod, CMwMemberPath* path, const void* value, Own own) {
    return MwSetParamVirtual(nod, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != C::s_ClassId)
            return MwNotOwnMember;
        if (!nod->m_Variable || !value)
            return u32(MwParam_NotFound);
        return own(*nod->m_Variable);
    });
}

u32 ReadWord(CBlockVariable& variable, CMwParamValue* out) {
    return MwAnswerValue(out, variable.GetWord());
}

u32 WriteWord(CBlockVariable& variable, const void* value) {
    u32 word;
    std::memcpy(&word, value, sizeof word);
    variable.SetWord(word);
    variable.m_Assigned = 1;
    return MwParam_Ok;
}

// The floats (made, zero-filled, when missing), or with one more item one of them, or for the
// item -1 of a vector its length.
u32 ReadFloats(CBlockVariable& variable, CMwMemberPath* path, CMwParamValue* out, u32 count,
               bool vector) {
    f32* floats = variable.MakeFloats();
    if (!path->HasCurrent()) {
        out->Value = floats;
        return MwParam_Ok;
    }
    u32 index = 0;
    if (!path->TakeIndex(&index))
        return MwParam_NotFound;
    if (vector && index == 0xFFFFFFFF) {
        f64 sum = 0;
        for (u32 i = 0; i < count; ++i)
            sum += f64(floats[i]) * f64(floats[i]);
        return MwAnswerValue(out, f32(std::sqrt(sum)));
    }
    if (index >= count)
        return MwParam_NotFound;
    out->Value = floats + index;
    return MwParam_Ok;
}

// The whole value, whatever items follow.
u32 WriteFloats(CBlockVariable& variable, const void* value, u32 count) {
    std::memcpy(variable.MakeFloats(), value, count * sizeof(f32));
    variable.m_Assigned = 1;
    return MwParam_Ok;
}

} // namespace

u32 CMwCmdScriptVarBool::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return GetOwn(this, path, out, [&](CBlockVariable& v) { return ReadWord(v, out); });
}

u32 CMwCmdScriptVarBool::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return SetOwn(this, path, value, [&](CBlockVariable& v) { return WriteWord(v, value); });
}

u32 CMwCmdScriptVarFloat::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return GetOwn(this, path, out, [&](CBlockVariable& v) { return ReadWord(v, out); });
}

u32 CMwCmdScriptVarFloat::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return SetOwn(this, path, value, [&](CBlockVariable& v) { return WriteWord(v, value); });
}

u32 CMwCmdScriptVarInt::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return GetOwn(this, path, out, [&](CBlockVariable& v) { return ReadWord(v, out); });
}

u32 CMwCmdScriptVarInt::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return SetOwn(this, path, value, [&](CBlockVariable& v) { return WriteWord(v, value); });
}

u32 CMwCmdScriptVarIso4::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return GetOwn(this, path, out,
                  [&](CBlockVariable& v) { return ReadFloats(v, path, out, 12, false); });
}

u32 CMwCmdScriptVarIso4::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return SetOwn(this, path, value, [&](CBlockVariable& v) { return WriteFloats(v, value, 12); });
}

u32 CMwCmdScriptVarString::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return GetOwn(this, path, out, [&](CBlockVariable& v) {
        out->Value = &v.MakeString();
        return u32(MwParam_Ok);
    });
}

u32 CMwCmdScriptVarString::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return SetOwn(this, path, value, [&](CBlockVariable& v) {
        v.MakeString().Assign(*static_cast<const CClassicString*>(value));
        v.m_Assigned = 1;
        return u32(MwParam_Ok);
    });
}

u32 CMwCmdScriptVarVec2::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return GetOwn(this, path, out,
                  [&](CBlockVariable& v) { return ReadFloats(v, path, out, 2, true); });
}

u32 CMwCmdScriptVarVec2::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return SetOwn(this, path, value, [&](CBlockVariable& v) { return WriteFloats(v, value, 2); });
}

u32 CMwCmdScriptVarVec3::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return GetOwn(this, path, out,
                  [&](CBlockVariable& v) { return ReadFloats(v, path, out, 3, true); });
}

u32 CMwCmdScriptVarVec3::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return SetOwn(this, path, value, [&](CBlockVariable& v) { return WriteFloats(v, value, 3); });
}

u32 CMwCmdScriptVarEnum::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return GetOwn(this, path, out, [&](CBlockVariable& v) {
        out->Value = v.GetWordPtr();
        return u32(MwParam_Ok);
    });
}

u32 CMwCmdScriptVarEnum::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return SetOwn(this, path, value, [&](CBlockVariable& v) { return WriteWord(v, value); });
}

// Class: the held nod, or the path going on in it.

u32 CMwCmdScriptVarClass::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return GetOwn(this, path, out, [&](CBlockVariable& v) -> u32 {
        CMwNod* nod = v.GetNod();
        if (!path->HasCurrent()) {
            out->Value = nod;
            return MwParam_Ok;
        }
        return nod ? nod->GetParam(path, out) : u32(MwParam_NotFound);
    });
}

u32 CMwCmdScriptVarClass::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != s_ClassId)
            return MwNotOwnMember;
        if (!m_Variable)
            return u32(MwParam_NotFound);
        CMwNod* held = m_Variable->GetNod();
        if (path->HasCurrent())
            return held ? held->SetParam(path, value) : u32(MwParam_NotFound);
        // The variable holds its nod through a dependant link, which a nod that is gone cannot
        // take.
        auto* nod = static_cast<CMwNod*>(const_cast<void*>(value));
        if (nod && !CMwNod::IsValidNod(nod))
            return u32(MwParam_NotFound);
        m_Variable->SetNod(nod);
        m_Variable->m_Assigned = 1;
        return u32(MwParam_Ok);
    });
}

namespace {

// Add and Sub of the Class member: passed on to the held nod with further items (2 without a
// nod), nothing without; 0 once passed on, whatever the nod answers.
template <class Write>
u32 PassOn(CMwCmdScriptVarClass* nod, CMwMemberPath* path, Write write) {
    if (!nod->m_Variable)
        return MwParam_NotFound;
    if (!path->HasCurrent())
        return MwParam_Ok;
    CMwNod* held = nod->m_Variable->GetNod();
    if (!held)
        return MwParam_NotFound;
    write(held);
    return MwParam_Ok;
}

} // namespace

u32 CMwCmdScriptVarClass::AddParamVirtual(CMwMemberPath* path, const void* value) {
    return MwAddParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != s_ClassId)
            return MwNotOwnMember;
        return PassOn(this, path, [&](CMwNod* held) { held->AddParam(path, value); });
    });
}

u32 CMwCmdScriptVarClass::SubParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSubParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != s_ClassId)
            return MwNotOwnMember;
        return PassOn(this, path, [&](CMwNod* held) { held->SubParam(path, value); });
    });
}
