#pragma once
// The checks every library runs over its own class list, in one test of its test program, with
// the registry started (the library's classes bound to their descriptors):
//
//   MwCheckClassList(g_MwCoreClassList, options);
//
// For every class of the list with a factory:
// - the factory's nod answers a record that is in the list, and is of the record's class;
// - its CMwNod part starts the object (single inheritance: every reflected field is reached by
//   its offset from the nod);
// - filled with data (options.Fill; by default every settable value member and every list of
//   values that takes additions, through the member records), every chunk the class chain
//   writes has a body, and the whole chunked body reads back into a fresh nod of the class and
//   is written again to the same bytes, in the binary and the text encoding.
//
// Failures are reported as test failures that name the class.
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicBuffer.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwMemberPath.h"
#include "core/nod/MwNod.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>

// Writes a value into every member of the nod's class chain that can take one without a nod:
// settable value members get a value a new nod does not have, lists of values that take
// additions get two elements. Nods, lists of nods, actions and procedures are left alone.
// Returns how many members it changed.
inline u32 MwFillMembers(CMwNod& nod);

struct CMwClassListCheck {
    // Gives a new nod its data before it is written.
    std::function<void(CMwNod&)> Fill = [](CMwNod& nod) { MwFillMembers(nod); };
    // Chunks that may be written without a byte (a chunk whose class has nothing to say in it).
    std::set<u32> EmptyChunks;
    // The archive the bodies go through (a library whose bodies hold nod references gives its
    // own); the check gives it a memory stream and the encoding.
    std::function<std::unique_ptr<CClassicArchive>()> MakeArchive = [] {
        return std::make_unique<CClassicArchive>();
    };
};

// What the check went through, so that a library's test can tell that it checked something.
struct CMwClassListCheckCounts {
    u32 Created = 0;
    u32 ChunksWritten = 0;
};

inline CMwClassListCheckCounts MwCheckClassList(const CMwClassList& list,
                                                const CMwClassListCheck& check = {});

// The census of a library's list, with the registry started: every record is filed once, under
// its own id, with member ids that are its class id and the member's index, and a parent that is
// registered. Failures are test failures that name the class.
struct CMwClassCensus {
    u32 PerEngine[256] = {};
    u32 WithoutFactory = 0;
};
inline CMwClassCensus MwTakeClassCensus(const CMwClassList& list) {
    CMwClassCensus census;
    std::set<u32> ids;
    for (u32 i = 0; i < list.m_Count; ++i) {
        const CMwClassInfo* info = list.m_Classes[i];
        EXPECT_TRUE(ids.insert(info->m_ClassId).second) << info->m_Name;
        EXPECT_EQ(CMwClassRegistry::GetClassInfoById(info->m_ClassId), info) << info->m_Name;
        ++census.PerEngine[info->m_ClassId >> 24];
        census.WithoutFactory += info->m_Factory ? 0 : 1;
        for (u32 m = 0; m < info->m_MemberCount; ++m)
            EXPECT_EQ(info->m_MemberInfos[m]->MemberId, info->m_ClassId | m) << info->m_Name;
        EXPECT_TRUE(info->m_Parent &&
                    CMwClassRegistry::GetClassInfoById(info->m_Parent->m_ClassId) != nullptr)
            << info->m_Name << ": its parent is not registered";
    }
    return census;
}

// ---------------------------------------------------------------------------------------------

namespace mw_class_list_check {

// One value of a kind, kept alive for the call that takes it.
struct CSample {
    alignas(8) u8 Words[48] = {};
    CClassicString Text;
    CClassicWideString Wide;
    const void* Value = nullptr;

    template <class T>
    void Put(const T& value) {
        static_assert(sizeof(T) <= sizeof(Words));
        std::memcpy(Words, &value, sizeof value);
        Value = Words;
    }
    void PutFloats(u32 count, u32 salt) {
        f32 floats[12] = {};
        for (u32 i = 0; i < count; ++i)
            floats[i] = 0.5f + f32(salt) + 0.25f * f32(i);
        std::memcpy(Words, floats, count * sizeof(f32));
        Value = Words;
    }
};

template <class Range, class T>
T Middle(const CMwMemberInfo& member) {
    const auto& range = static_cast<const Range&>(member);
    return T(range.Min) + (T(range.Max) - T(range.Min)) / 2;
}

// A value of `kind` (the member's own kind, or its element kind) that a new nod does not have;
// false for kinds whose values are not plain data.
inline bool MakeSample(const CMwMemberInfo& member, u32 kind, u32 salt, CSample& sample) {
    switch (kind) {
        case MwType_Bool:
            sample.Put(u32(1));
            return true;
        case MwType_Natural:
            sample.Put(u32(0x100 + salt));
            return true;
        case MwType_NaturalRange:
            sample.Put(Middle<CMwMemberInfoNaturalRange, u32>(member));
            return true;
        case MwType_Integer:
            sample.Put(-2 - i32(salt));
            return true;
        case MwType_IntegerRange:
            sample.Put(i32(Middle<CMwMemberInfoIntegerRange, i64>(member)));
            return true;
        case MwType_Real:
            sample.Put(0.25f + f32(salt));
            return true;
        case MwType_RealRange:
            sample.Put(Middle<CMwMemberInfoRealRange, f32>(member));
            return true;
        case MwType_Enum:
            sample.Put(static_cast<const CMwMemberInfoEnum&>(member).EnumCount - 1);
            return true;
        case MwType_String:
            sample.Text.Assign(("Sample " + std::to_string(salt)).c_str());
            sample.Value = &sample.Text;
            return true;
        case MwType_StringInt:
            sample.Text.Assign(("Wide " + std::to_string(salt)).c_str());
            sample.Wide.AssignFromNarrow(sample.Text);
            sample.Value = &sample.Wide;
            return true;
        case MwType_Vec2:
            sample.PutFloats(2, salt);
            return true;
        case MwType_Color:
        case MwType_Vec3:
            sample.PutFloats(3, salt);
            return true;
        case MwType_Vec4:
        case MwType_Quat:
            sample.PutFloats(4, salt);
            return true;
        case MwType_Iso3:
            sample.PutFloats(6, salt);
            return true;
        case MwType_Iso4:
            sample.PutFloats(12, salt);
            return true;
        default:
            return false;
    }
}

// The path of one member of the nod.
inline void MemberPath(CMwMemberPath& path, CMwMemberInfo& member) {
    path.Reserve(0);
    path.Reserve(1);
    path.PushFront(reinterpret_cast<MwPathValue>(&member));
    path.Reset();
}

inline bool FillMember(CMwNod& nod, CMwMemberInfo& member, u32 salt) {
    CMwMemberPath path;
    CSample sample;
    const u32 element = MwContainerElementType(member.TypeCode);
    if (element != MwType_Count) {
        if (!(member.Flags & (MwMember_Add | MwMember_AddVirtual)) ||
            !MakeSample(member, element, salt, sample))
            return false;
        bool added = false;
        for (u32 i = 0; i < 2; ++i) {
            MemberPath(path, member);
            added |= nod.AddParam(&path, sample.Value) == MwParam_Ok;
        }
        return added;
    }
    if (!(member.Flags & (MwMember_Set | MwMember_SetVirtual)) ||
        !MakeSample(member, member.TypeCode, salt, sample))
        return false;
    MemberPath(path, member);
    return nod.SetParam(&path, sample.Value) == MwParam_Ok;
}

inline bool IsListed(const CMwClassList& list, const CMwClassInfo* info) {
    for (u32 i = 0; i < list.m_Count; ++i)
        if (list.m_Classes[i] == info)
            return true;
    return false;
}

// The bytes the archive's memory stream received.
inline std::string Bytes(CClassicArchive& archive) {
    auto* memory = static_cast<CClassicBufferMemory*>(archive.GetBuffer());
    return std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize());
}

inline std::unique_ptr<CClassicArchive> Writer(const CMwClassListCheck& check, bool text) {
    std::unique_ptr<CClassicArchive> archive = check.MakeArchive();
    archive->SetBuffer(new CClassicBufferMemory);
    archive->m_Writing = 1;
    archive->m_Text = text;
    return archive;
}

inline std::string WriteBody(const CMwClassListCheck& check, CMwNod& nod, bool text) {
    const std::unique_ptr<CClassicArchive> archive = Writer(check, text);
    EXPECT_EQ(nod.Archive(*archive), 0u) << nod.GetClassInfo()->m_Name;
    return Bytes(*archive);
}

inline u32 ReadBody(const CMwClassListCheck& check, CMwNod& nod, const std::string& bytes,
                    bool text) {
    const std::unique_ptr<CClassicArchive> archive = check.MakeArchive();
    auto* memory = new CClassicBufferMemory;
    archive->SetBuffer(memory);
    memory->Write(bytes.data(), u32(bytes.size()));
    memory->Rewind();
    archive->m_Text = text;
    return nod.Archive(*archive);
}

// Every chunk the chain writes (in a non-release archive), each written alone, has a body.
inline u32 CheckChunkBodies(const CMwClassListCheck& check, CMwNod& nod) {
    u32 written = 0;
    const char* name = nod.GetClassInfo()->m_Name;
    for (u32 i = 0; i < nod.ChunkCount(); ++i) {
        const u32 id = nod.ChunkIdByIndex(i);
        const u32 flags = nod.GetChunkInfo(id);
        if (flags == CMwNod::s_UnknownChunk || !(flags & 0x02) || (flags & 0x08))
            continue;
        ++written;
        const std::unique_ptr<CClassicArchive> archive = Writer(check, false);
        nod.ArchiveChunk(*archive, id);
        if (!check.EmptyChunks.count(id)) {
            EXPECT_FALSE(Bytes(*archive).empty())
                << name << " writes chunk 0x" << std::hex << id << " without a byte";
        }
    }
    return written;
}

// Holds a reference on a new nod and gives it back at the end of the check.
struct CHeld {
    explicit CHeld(CMwNod* nod) : Nod(nod) {
        if (Nod)
            Nod->AddRef();
    }
    CHeld(const CHeld&) = delete;
    CHeld& operator=(const CHeld&) = delete;
    ~CHeld() {
        if (Nod)
            Nod->Release();
    }
    CMwNod* Nod;
};

} // namespace mw_class_list_check

inline u32 MwFillMembers(CMwNod& nod) {
    u32 filled = 0;
    const u32 count = nod.MemberCount();
    for (u32 i = 0; i < count; ++i) {
        CMwMemberInfo* member = CMwClassRegistry::GetMemberInfo(nod.MemberIdByIndex(i));
        if (member && mw_class_list_check::FillMember(nod, *member, i))
            ++filled;
    }
    return filled;
}

inline CMwClassListCheckCounts MwCheckClassList(const CMwClassList& list,
                                                const CMwClassListCheck& check) {
    using namespace mw_class_list_check;
    CMwClassListCheckCounts counts;
    for (u32 c = 0; c < list.m_Count; ++c) {
        CMwClassInfo* info = list.m_Classes[c];
        if (!info->m_Factory)
            continue;
        const CHeld made(info->m_Factory());
        CMwNod* nod = made.Nod;
        if (!nod) {
            ADD_FAILURE() << info->m_Name << ": the factory made no nod";
            continue;
        }
        ++counts.Created;
        EXPECT_EQ(dynamic_cast<void*>(nod), static_cast<void*>(nod))
            << info->m_Name << ": the CMwNod part does not start the object";
        EXPECT_TRUE(IsListed(list, nod->GetClassInfo()))
            << info->m_Name << ": its nod answers the record of "
            << (nod->GetClassInfo() ? nod->GetClassInfo()->m_Name : "nothing")
            << ", which is not in the list";
        EXPECT_TRUE(nod->IsKindOf(info->m_ClassId))
            << info->m_Name << ": its nod is not of its class";
        if (!IsListed(list, nod->GetClassInfo()))
            continue;

        check.Fill(*nod);
        counts.ChunksWritten += CheckChunkBodies(check, *nod);
        for (bool text : {false, true}) {
            const std::string written = WriteBody(check, *nod, text);
            const CHeld fresh(info->m_Factory());
            EXPECT_EQ(ReadBody(check, *fresh.Nod, written, text), 0u)
                << info->m_Name << (text ? " (text)" : " (binary)") << ": the body does not read";
            EXPECT_EQ(WriteBody(check, *fresh.Nod, text), written)
                << info->m_Name << (text ? " (text)" : " (binary)")
                << ": the body read back is written differently";
        }
    }
    return counts;
}
