#include "tests/script/support/ScriptStatements.h"

#include "core/nod/MwMemberPath.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

CMwMemberPath* NewSegment(const char* text, u32 classId) {
    auto* path = new CMwMemberPath;
    if (path->ParseFromText(classId, nullptr, CClassicString(text)) == MwParam_Ok)
        return path;
    // The text parser does not take a RefBuffer member: one named alone is looked up by name.
    const CMwClassInfo* info = CMwClassRegistry::GetClassInfoById(classId);
    for (u32 i = 0; info && i < info->m_MemberCount; ++i) {
        if (std::strcmp(info->m_MemberInfos[i]->Name, text) == 0) {
            path->Reserve(1);
            path->PushFront(reinterpret_cast<MwPathValue>(info->m_MemberInfos[i]));
            path->Reset();
            return path;
        }
    }
    std::fprintf(stderr, "NewSegment: \"%s\" names no member of class 0x%08X\n", text, classId);
    std::abort();
}

CMwMemberPath* NewElementSegment(u32 memberId, u32 index) {
    auto* path = new CMwMemberPath(2);
    path->PushFront(reinterpret_cast<MwPathValue>(CMwClassRegistry::GetMemberInfo(memberId)));
    path->PushFront(index);
    path->m_Kinds[0] = MwPathItem_Index;
    path->Reset();
    return path;
}

void AddPathSegment(CMwCmdParamPath& param, const char* text, CMwCmdExpNum* index, u32 classId) {
    param.AddSegment(NewSegment(text, classId));
    param.AddIndex(index);
}

void StartAtVariable(CMwCmdParamPath& param, const char* name) {
    param.m_This = 0;
    param.m_VariableName.Assign(name);
}

CMwCmdAffectIdentNum* NewAffectIdentNum(const char* name, CMwCmdExp* value, i32 component) {
    auto* node = NewAffectIdent<CMwCmdAffectIdentNum>(name, value);
    node->m_Component = component;
    return node;
}

CMwCmdCall* NewCall(const char* path) {
    auto* node = new CMwCmdCall;
    AddPathSegment(node->m_Param, path);
    return node;
}

CMwCmdArrayAdd* NewArrayAdd(const char* path, CMwCmdExp* value) {
    auto* node = new CMwCmdArrayAdd;
    AddPathSegment(node->m_Param, path);
    node->SetValueExp(value);
    return node;
}

CMwCmdArrayRemove* NewArrayRemove(const char* path, CMwCmdExp* value) {
    auto* node = new CMwCmdArrayRemove;
    AddPathSegment(node->m_Param, path);
    node->SetValueExp(value);
    return node;
}

const std::vector<u32>& ScriptStatementClassIds() {
    static const std::vector<u32> ids = {
        0x01032000, 0x01071000, 0x01072000, 0x01073000, 0x01074000, 0x01075000, 0x01076000,
        0x01077000, 0x010a5000, 0x01033000, 0x01078000, 0x01079000, 0x0107a000, 0x0107b000,
        0x0107c000, 0x0107d000, 0x0107e000, 0x0107f000, 0x01034000, 0x010a0000, 0x010a1000,
        0x01068000, 0x01069000, 0x0106a000, 0x0106b000, 0x0106c000, 0x0106d000, 0x0106e000,
        0x0106f000, 0x01070000, 0x010a6000};
    return ids;
}

namespace {

CMwCmdExpIso4* NewTranslation(f32 x, f32 y, f32 z) {
    return NewIso4(NewFloatVec3(1, 0, 0), NewFloatVec3(0, 1, 0), NewFloatVec3(0, 0, 1),
                   NewFloatVec3(x, y, z));
}

// Child.Integer from the variable "c": two segments, no index.
CMwCmdAffectParam* NewSampleUntypedParam() {
    auto* node = new CMwCmdAffectParam;
    StartAtVariable(node->m_Param, "c");
    AddPathSegment(node->m_Param, "Child");
    AddPathSegment(node->m_Param, "Integer");
    node->SetValueExp(NewInt(5));
    node->m_NumberKind = 0;
    node->m_Reserved = 7;
    return node;
}

constexpr u32 kChildrenId = 0x01FC100E;

// Children.<1>.Integer: the first segment takes its index from an expression, the last none (one
// index expression fewer than segments).
CMwCmdAffectParamNum* NewSampleIndexedParam() {
    auto* node = new CMwCmdAffectParamNum;
    node->m_Param.AddSegment(NewElementSegment(kChildrenId, 0));
    node->m_Param.AddIndex(NewInt(1));
    node->m_Param.AddSegment(NewSegment("Integer"));
    node->SetValueExp(NewFloat(-2.5f));
    node->m_NumberKind = 0;
    return node;
}

// Iso4 of the nod a start expression gives.
CMwCmdAffectParamIso4* NewSampleStartParam() {
    auto* node = new CMwCmdAffectParamIso4;
    node->m_Param.m_This = 0;
    node->m_Param.SetStart(NewClass(CScriptTestObject::s_ClassId));
    AddPathSegment(node->m_Param, "Iso4");
    node->SetValueExp(NewTranslation(1, 2, 3));
    return node;
}

} // namespace

CMwNod* NewSampleStatement(u32 classId) {
    constexpr u32 kModeId = CScriptTestObject::s_ModeMemberId;
    switch (classId) {
        case CMwCmdAffectIdent::s_ClassId:
            return NewAffectIdent<CMwCmdAffectIdent>("s", NewString("any"), true);
        case CMwCmdAffectIdentBool::s_ClassId:
            return NewAffectIdent<CMwCmdAffectIdentBool>("b", NewBool(1));
        case CMwCmdAffectIdentClass::s_ClassId:
            return NewAffectIdent<CMwCmdAffectIdentClass>(
                "c", NewClass(CScriptTestObject::s_ClassId), true);
        case CMwCmdAffectIdentIso4::s_ClassId:
            return NewAffectIdent<CMwCmdAffectIdentIso4>("m", NewTranslation(5, 6, 7));
        case CMwCmdAffectIdentNum::s_ClassId:
            return NewAffectIdentNum("m", NewFloat(2.5f), 11);
        case CMwCmdAffectIdentString::s_ClassId:
            return NewAffectIdent<CMwCmdAffectIdentString>("s", NewString("Hello"));
        case CMwCmdAffectIdentVec2::s_ClassId:
            return NewAffectIdent<CMwCmdAffectIdentVec2>("v2", NewVec2(NewInt(3), NewInt(4)));
        case CMwCmdAffectIdentVec3::s_ClassId:
            return NewAffectIdent<CMwCmdAffectIdentVec3>("v3", NewFloatVec3(1, 2, 2), true);
        case CMwCmdAffectIdentEnum::s_ClassId:
            return NewAffectIdent<CMwCmdAffectIdentEnum>("e", NewEnum(3, kModeId));
        case CMwCmdAffectParam::s_ClassId:
            return NewSampleUntypedParam();
        case CMwCmdAffectParamBool::s_ClassId:
            return NewAffectParam<CMwCmdAffectParamBool>("Bool", NewBool(1));
        case CMwCmdAffectParamClass::s_ClassId:
            return NewAffectParam<CMwCmdAffectParamClass>("Child",
                                                          NewClass(CScriptTestObject::s_ClassId));
        case CMwCmdAffectParamEnum::s_ClassId:
            return NewAffectParam<CMwCmdAffectParamEnum>("Mode", NewEnum(1, kModeId));
        case CMwCmdAffectParamIso4::s_ClassId:
            return NewSampleStartParam();
        case CMwCmdAffectParamNum::s_ClassId:
            return NewSampleIndexedParam();
        case CMwCmdAffectParamString::s_ClassId:
            return NewAffectParam<CMwCmdAffectParamString>("WideName",
                                                           NewString("\xEF\xBB\xBF"
                                                                     "caf\xC3\xA9"),
                                                           CMwCmdAffectParam::s_WideStringKind);
        case CMwCmdAffectParamVec2::s_ClassId:
            return NewAffectParam<CMwCmdAffectParamVec2>("Vec2", NewVec2(NewInt(1), NewInt(2)));
        case CMwCmdAffectParamVec3::s_ClassId:
            return NewAffectParam<CMwCmdAffectParamVec3>("Vec3", NewFloatVec3(1, 2, 3));
        case CMwCmdCall::s_ClassId:
            return NewCall("Touch");
        case CMwCmdArrayAdd::s_ClassId:
            return NewArrayAdd("Points", NewFloatVec3(4, 5, 6));
        case CMwCmdArrayRemove::s_ClassId:
            return NewArrayRemove("Points", NewInt(0));
        default:
            // The extern variable nods store nothing of their own.
            return CMwClassRegistry::IsClassKindOf(classId, CMwCmdScriptVar::s_ClassId)
                       ? CMwClassRegistry::CreateNodById(classId)
                       : nullptr;
    }
}
