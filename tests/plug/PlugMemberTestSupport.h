#pragma once
// Member access by path text for the Plug tests: set, get and nod members, as a script or an
// editor reaches them.
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwMemberPath.h"
#include "core/nod/MwNod.h"
#include "core/nod/MwParam.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace plug_test {

// The path of a member given by its text.
struct CPath {
    CPath(CMwNod* nod, const char* text) {
        Result = Path.ParseFromText(CMwNod::s_NoClassId, nod, CClassicString(text));
    }
    CMwMemberPath Path;
    u32 Result;
};

template <class T>
inline u32 Set(CMwNod* nod, const char* text, T value) {
    CPath path(nod, text);
    EXPECT_EQ(path.Result, 0u) << text;
    return nod->SetParam(&path.Path, &value);
}

inline u32 SetNod(CMwNod* nod, const char* text, CMwNod* value) {
    CPath path(nod, text);
    EXPECT_EQ(path.Result, 0u) << text;
    return nod->SetParam(&path.Path, value);
}

template <class T>
inline T Get(CMwNod* nod, const char* text, u32* result = nullptr) {
    CPath path(nod, text);
    EXPECT_EQ(path.Result, 0u) << text;
    CMwParamValue out;
    const u32 r = nod->GetParam(&path.Path, &out);
    if (result)
        *result = r;
    T value{};
    if (r == 0 && out.Value)
        std::memcpy(&value, out.Value, sizeof value);
    return value;
}

// A nod member's value is the nod itself.
inline CMwNod* GetNod(CMwNod* nod, const char* text) {
    CPath path(nod, text);
    EXPECT_EQ(path.Result, 0u) << text;
    CMwParamValue out;
    EXPECT_EQ(nod->GetParam(&path.Path, &out), 0u) << text;
    return static_cast<CMwNod*>(out.Value);
}

inline std::string GetText(CMwNod* nod, const char* text) {
    CPath path(nod, text);
    EXPECT_EQ(path.Result, 0u) << text;
    CMwParamValue out;
    if (nod->GetParam(&path.Path, &out) != 0 || !out.Value)
        return "(none)";
    return static_cast<const CClassicString*>(out.Value)->GetText();
}

// A path built in code: the member, then an index item.
inline void MemberIndexPath(CMwMemberPath& path, u32 memberId, u32 index) {
    path.Reserve(2);
    path.PushFront(reinterpret_cast<MwPathValue>(CMwClassRegistry::GetMemberInfo(memberId)));
    path.m_Kinds[0] = MwPathItem_Member;
    path.PushFront(index);
    path.m_Kinds[0] = MwPathItem_Index;
    path.Reset();
}

} // namespace plug_test
