#pragma once
// CMwClassInfoViewer: shows the class id of one class-information record as the read-only member
// ClassId (a Natural answered by GetParamVirtual). A viewer without a record answers the unset
// class id 0xFFFFFFFF.
#include "core/nod/MwNod.h"

class CMwClassInfoViewer : public CMwNod {
    MW_DECLARE_CLASS(CMwClassInfoViewer, CMwNod, 0x01022000)
public:
    static constexpr u32 s_ClassIdMemberId = 0x01022000;

    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;

    // The record viewed; none at construction.
    CMwClassInfo* m_ClassInfo = nullptr;
};
