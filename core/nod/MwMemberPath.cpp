#include "core/nod/MwMemberPath.h"

#include "core/base/ClassicArchive.h"
#include "core/nod/MwId.h"

#include <algorithm>
#include <cstring>

CMwMemberPath::~CMwMemberPath() {
    Reserve(0);
}

void CMwMemberPath::Reserve(u32 n) {
    if (n == 0) {
        delete[] m_Values;
        delete[] m_Kinds;
        m_Values = nullptr;
        m_Kinds = nullptr;
        m_Count = m_Capacity = 0;
        m_Current = -1;
        return;
    }
    if (m_Capacity == 0)
        m_Count = 0;
    n = std::max(n, m_Count);
    MwPathValue* values = new MwPathValue[n];
    u32* kinds = new u32[n];
    std::copy_n(m_Values, m_Count, values);
    std::copy_n(m_Kinds, m_Count, kinds);
    delete[] m_Values;
    delete[] m_Kinds;
    m_Values = values;
    m_Kinds = kinds;
    m_Capacity = n;
    Reset();
}

u32 CMwMemberPath::PushFront(MwPathValue value) {
    if (m_Count >= m_Capacity)
        return MwParam_PathFull;
    std::copy_backward(m_Values, m_Values + m_Count, m_Values + m_Count + 1);
    std::copy_backward(m_Kinds, m_Kinds + m_Count, m_Kinds + m_Count + 1);
    m_Values[0] = value;
    m_Kinds[0] = MwPathItem_Member;
    ++m_Count;
    return MwParam_Ok;
}

u32 CMwMemberPath::SetFront(MwPathValue value) {
    if (m_Count == 0)
        return MwParam_PathEmpty;
    m_Values[0] = value;
    return MwParam_Ok;
}

void CMwMemberPath::CopyFrom(const CMwMemberPath& other, u32 extra) {
    if (&other == this) {
        Reserve(m_Capacity + extra);
        return;
    }
    Reserve(0);
    const u32 capacity = other.m_Capacity + extra;
    if (capacity) {
        m_Values = new MwPathValue[capacity];
        m_Kinds = new u32[capacity];
        std::copy_n(other.m_Values, other.m_Count, m_Values);
        std::copy_n(other.m_Kinds, other.m_Count, m_Kinds);
    }
    m_Capacity = capacity;
    m_Count = other.m_Count;
    m_Current = other.m_Current;
}

void CMwMemberPath::AppendPath(const CMwMemberPath& other) {
    const u32 count = m_Count + other.m_Count;
    MwPathValue* values = new MwPathValue[count ? count : 1];
    u32* kinds = new u32[count ? count : 1];
    std::copy_n(other.m_Values, other.m_Count, values);
    std::copy_n(other.m_Kinds, other.m_Count, kinds);
    std::copy_n(m_Values, m_Count, values + other.m_Count);
    std::copy_n(m_Kinds, m_Count, kinds + other.m_Count);
    delete[] m_Values;
    delete[] m_Kinds;
    m_Values = values;
    m_Kinds = kinds;
    m_Capacity = m_Count = count;
    Reset();
}

bool CMwMemberPath::GetCurrent(MwPathValue* value) const {
    if (!HasCurrent() || m_Current >= static_cast<i32>(m_Count))
        return false;
    *value = m_Values[m_Current];
    return true;
}

CMwMemberInfo* CMwMemberPath::TakeMember() {
    if (GetCurrentKind() != MwPathItem_Member)
        return nullptr;
    return reinterpret_cast<CMwMemberInfo*>(m_Values[m_Current--]);
}

bool CMwMemberPath::TakeIndex(u32* index) {
    if (GetCurrentKind() != MwPathItem_Index)
        return false;
    *index = static_cast<u32>(m_Values[m_Current--]);
    return true;
}

u32 CMwMemberPath::FindNodByName(u32* index, CMwNod* const* nods, u32 count) {
    if (GetCurrentKind() != MwPathItem_Name)
        return MwParam_NotFound;
    const u32 name = static_cast<u32>(m_Values[m_Current--]);
    for (u32 i = 0; i < count; ++i) {
        const CMwId* id = nods[i] ? nods[i]->GetIdPtr() : nullptr;
        if (id && id->m_Value == name) {
            *index = i;
            return MwParam_Ok;
        }
    }
    return MwParam_NotFound;
}

MwPathValue* CMwMemberPath::GetArgument(u32 n, u32 kind, i32* start) {
    if (*start == -1) {
        for (u32 i = 0; i + 1 < m_Count; ++i) {
            if (m_Kinds[i] >= MwPathItem_ArgumentFirst) {
                *start = static_cast<i32>(i);
                break;
            }
        }
        if (*start == -1)
            return nullptr;
    }
    const u64 position = u64(u32(*start)) + n;
    if (position + 1 >= m_Count || m_Kinds[position] != kind)
        return nullptr;
    return &m_Values[position];
}

u32 CMwMemberPath::Archive(CClassicArchive& archive) {
    if (archive.m_Writing) {
        archive.WriteUInts(&m_Count, 1);
        archive.WriteUInts(m_Kinds, m_Count);
        for (u32 i = 0; i < m_Count; ++i) {
            switch (m_Kinds[i]) {
                case MwPathItem_Member: {
                    const auto* member = reinterpret_cast<const CMwMemberInfo*>(m_Values[i]);
                    u32 id = member ? member->MemberId : 0xFFFFFFFF;
                    archive.WriteUInts(&id, 1);
                    break;
                }
                case MwPathItem_Index: {
                    u32 index = static_cast<u32>(m_Values[i]);
                    archive.WriteUInts(&index, 1);
                    break;
                }
                case MwPathItem_Name: {
                    u32 named = 1;
                    archive.WriteBools(&named, 1);
                    const CClassicString text = CMwId::FromValue(u32(m_Values[i])).ToString();
                    archive.WriteStrings(&text, 1);
                    break;
                }
                default:
                    break;
            }
        }
        return 0;
    }

    u32 count = 0;
    archive.ReadUInts(&count, 1);
    archive.CheckReadSize(count, s_MaxArchivedItems);
    Reserve(0);
    if (count == 0)
        return 0;
    Reserve(count);
    archive.ReadUInts(m_Kinds, count);
    for (u32 i = 0; i < count; ++i) {
        m_Values[i] = 0;
        m_Count = i + 1;
        switch (m_Kinds[i]) {
            case MwPathItem_Member: {
                u32 id = 0;
                archive.ReadUInts(&id, 1);
                m_Values[i] = reinterpret_cast<MwPathValue>(CMwClassRegistry::GetMemberInfo(id));
                break;
            }
            case MwPathItem_Index: {
                u32 index = 0;
                archive.ReadUInts(&index, 1);
                m_Values[i] = index;
                break;
            }
            case MwPathItem_Name: {
                u32 named = 0;
                archive.ReadBools(&named, 1);
                CClassicString text;
                archive.ReadStrings(&text, 1);
                m_Values[i] = CMwId::FromName(text.GetText()).m_Value;
                break;
            }
            default:
                break;
        }
    }
    Reset();
    return 0;
}
