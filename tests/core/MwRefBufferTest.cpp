// The reference buffer (its list, its references, its chunk and its member Nods), the RefBuffer
// member kind and the class-info viewer.
#include "core/nod/MwRefBuffer.h"

#include "CoreTestSupport.h"
#include "core/base/ClassicArchive.h"
#include "core/nod/MwClassInfoViewer.h"
#include "core/nod/MwMemberPath.h"
#include "core/nod/MwParamRefBuffer.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

// The names of the held nods destroyed so far.
std::string g_Destroyed;

// The nods the buffers hold: a one-letter name and one member.
class CHeldNod : public CMwNod {
    MW_DECLARE_CLASS(CHeldNod, CMwNod, 0x01FB1000)
public:
    CHeldNod() = default;
    explicit CHeldNod(char name) : m_Name(name) { m_Id.SetFromName(std::string(1, name).c_str()); }
    ~CHeldNod() override { g_Destroyed += m_Name; }
    CMwId* GetIdPtr() override { return &m_Id; }

    char m_Name = '?';
    CMwId m_Id;
    u32 m_Value = 0;
};

class CSpecialNod : public CHeldNod {
    MW_DECLARE_CLASS(CSpecialNod, CHeldNod, 0x01FB2000)
public:
    using CHeldNod::CHeldNod;
};

// A nod with a RefBuffer member: the buffer is a field of the nod.
class COwnerNod : public CMwNod {
    MW_DECLARE_CLASS(COwnerNod, CMwNod, 0x01FB0000)
public:
    CMwRefBuffer m_Held;
};

// Two lists that hold references and are shown read-only: one counted by the class's own code,
// one a reference buffer.
class CKeeperNod : public CMwNod {
    MW_DECLARE_CLASS(CKeeperNod, CMwNod, 0x01FB3000)
public:
    ~CKeeperNod() override {
        for (u32 i = 0; i < m_Kept.m_Count; ++i)
            m_Kept.m_Items[i]->Release();
        m_Kept.FreeItems();
    }
    void Keep(CMwNod* nod) {
        nod->AddRef();
        m_Kept.Add(nod);
    }

    CFastBuffer<CMwNod*> m_Kept;
    CMwRefBuffer m_Shown;
};

#define CHELDNOD_MEMBERS(X) X(Natural, 0x01FB1000, "Value", MW_FIELD(m_Value), "Value", 0x0F, 0x380)
#define COWNERNOD_MEMBERS(X)                                                                       \
    X(RefBuffer, 0x01FB0000, "Held", MW_FIELD(m_Held), "Held", 0x0F, 0x3F82, MwType_Class, 0xF,    \
      "Nod", &CHeldNod::s_ClassInfo)
#define CKEEPERNOD_MEMBERS(X)                                                                      \
    X(Buffer, 0x01FB3000, "Kept", MW_FIELD(m_Kept), "Kept", 0x01, 0x3F82, MwType_Class, 0xF,       \
      "Nod", &CHeldNod::s_ClassInfo)                                                               \
    X(RefBuffer, 0x01FB3001, "Shown", MW_FIELD(m_Shown), "Shown", 0x01, 0x3F82, MwType_Class, 0xF, \
      "Nod", &CHeldNod::s_ClassInfo)

MW_DEFINE_CLASS(CHeldNod, MwFactory<CHeldNod>, CHELDNOD_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CSpecialNod, MwFactory<CSpecialNod>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(COwnerNod, MwFactory<COwnerNod>, COWNERNOD_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CKeeperNod, MwFactory<CKeeperNod>, CKEEPERNOD_MEMBERS, MW_NO_CHUNKS);

constinit CMwClassInfo* const s_TestClasses[] = {&CHeldNod::s_ClassInfo, &CSpecialNod::s_ClassInfo,
                                                 &COwnerNod::s_ClassInfo, &CKeeperNod::s_ClassInfo};
constinit const CMwClassList s_TestClassList = {s_TestClasses, 4};

constexpr u32 kHeldMember = 0x01FB0000;
constexpr u32 kValueMember = 0x01FB1000;
constexpr u32 kKeptMember = 0x01FB3000;
constexpr u32 kShownMember = 0x01FB3001;

class MwRefBuffer : public CMwCoreFixture {
protected:
    MwRefBuffer() : CMwCoreFixture(&s_TestClassList) {}

    void SetUp() override {
        CMwCoreFixture::SetUp();
        g_Destroyed.clear();
    }
};

// Nods a to e (e of the special class), each deleted at the end unless a release destroyed it.
struct CNods {
    CNods() {
        g_Destroyed.clear();
        for (char c : std::string("abcd"))
            nods.push_back(new CHeldNod(c));
        nods.push_back(new CSpecialNod('e'));
    }
    ~CNods() {
        for (u32 i = 0; i < nods.size(); ++i)
            if (Alive(i))
                delete nods[i];
    }
    CHeldNod* operator[](char name) const { return nods[name - 'a']; }
    // Replaces a destroyed nod by a new one of the same name.
    void Renew(char name) {
        nods[name - 'a'] = new CHeldNod(name);
        g_Destroyed.erase(g_Destroyed.find(name), 1);
    }
    bool Alive(u32 i) const { return g_Destroyed.find(char('a' + i)) == std::string::npos; }

    // "a1 b0 ..." for the nods alive; destroyed ones are left out.
    std::string Counts() const {
        std::string text;
        for (u32 i = 0; i < nods.size(); ++i)
            if (Alive(i))
                text +=
                    std::string(1, char('a' + i)) + std::to_string(nods[i]->GetRefCount()) + " ";
        return text;
    }

    std::vector<CHeldNod*> nods;
};

std::string List(const CMwRefBuffer& buffer) {
    std::string text;
    for (u32 i = 0; i < buffer.GetCount(); ++i) {
        const CMwNod* nod = buffer.GetNod(i);
        text += nod ? static_cast<const CHeldNod*>(nod)->m_Name : '-';
    }
    return text;
}

// A path built item by item: member ids become member items.
struct CItem {
    u32 Kind;
    MwPathValue Value;
};
CItem M(u32 memberId) {
    return {MwPathItem_Member,
            reinterpret_cast<MwPathValue>(CMwClassRegistry::GetMemberInfo(memberId))};
}
CItem I(u32 index) {
    return {MwPathItem_Index, index};
}
CItem N(const char* name) {
    return {MwPathItem_Name, CMwId::FromName(name).m_Value};
}

void Build(CMwMemberPath& path, const std::vector<CItem>& items) {
    path.Reserve(0);
    path.Reserve(u32(items.size()));
    for (const CItem& item : items) {
        path.PushFront(item.Value);
        path.m_Kinds[0] = item.Kind;
    }
    path.Reset();
}

// Each live nod holds exactly one reference per entry of the list.
void ExpectOneReferencePerEntry(const CNods& nods, const std::string& list, const char* name) {
    for (u32 i = 0; i < nods.nods.size(); ++i)
        if (nods.Alive(i)) {
            const char letter = char('a' + i);
            EXPECT_EQ(nods.nods[i]->GetRefCount(),
                      i32(std::count(list.begin(), list.end(), letter)))
                << name << " " << letter;
        }
}

// One step of a script over a buffer: Add, Insert, RemoveAt, RemoveNod, SetAt, ReleaseAll.
struct CStep {
    char Op;
    char Nod; // 0 for a null nod
    u32 Position;
    bool Done;
};

TEST_F(MwRefBuffer, EveryChangeKeepsOneReferencePerEntry) {
    struct CCase {
        const char* Name;
        bool Holds;
        u32 Accepted;
        std::vector<CStep> Steps;
        const char* List;
        const char* Counts;
        const char* Destroyed;
    };
    const CCase cases[] = {
        {"add takes a reference",
         true,
         0x01001000,
         {{'A', 'a', 0, true}},
         "a",
         "a1 b0 c0 d0 e0 ",
         ""},
        {"removal gives it back and destroys",
         true,
         0x01001000,
         {{'A', 'a', 0, true}, {'R', 0, 0, true}},
         "",
         "b0 c0 d0 e0 ",
         "a"},
        {"insert at the count appends, at 0 prepends",
         true,
         0x01001000,
         {{'A', 'a', 0, true}, {'I', 'b', 1, true}, {'I', 'c', 0, true}},
         "cab",
         "a1 b1 c1 d0 e0 ",
         ""},
        {"insert past the count",
         true,
         0x01001000,
         {{'A', 'a', 0, true}, {'I', 'b', 2, false}},
         "a",
         "a1 b0 c0 d0 e0 ",
         ""},
        {"remove at the count",
         true,
         0x01001000,
         {{'A', 'a', 0, true}, {'R', 0, 1, false}},
         "a",
         "a1 b0 c0 d0 e0 ",
         ""},
        {"remove a nod held twice",
         true,
         0x01001000,
         {{'A', 'a', 0, true}, {'A', 'b', 0, true}, {'A', 'a', 0, true}, {'N', 'a', 0, true}},
         "ba",
         "a1 b1 c0 d0 e0 ",
         ""},
        {"remove a nod not held",
         true,
         0x01001000,
         {{'A', 'a', 0, true}, {'N', 'b', 0, true}},
         "a",
         "a1 b0 c0 d0 e0 ",
         ""},
        {"a null nod",
         true,
         0x01001000,
         {{'A', 0, 0, false}, {'I', 0, 0, false}},
         "",
         "a0 b0 c0 d0 e0 ",
         ""},
        {"another class",
         true,
         CSpecialNod::s_ClassId,
         {{'A', 'a', 0, false}, {'A', 'e', 0, true}, {'I', 'b', 0, false}},
         "e",
         "a0 b0 c0 d0 e1 ",
         ""},
        {"any class",
         true,
         0,
         {{'A', 'a', 0, true}, {'A', 'e', 0, true}},
         "ae",
         "a1 b0 c0 d0 e1 ",
         ""},
        {"replace an entry",
         true,
         0x01001000,
         {{'A', 'a', 0, true}, {'S', 'b', 0, true}},
         "b",
         "b1 c0 d0 e0 ",
         "a"},
        {"replace an entry by itself",
         true,
         0x01001000,
         {{'A', 'a', 0, true}, {'S', 'a', 0, true}},
         "a",
         "a1 b0 c0 d0 e0 ",
         ""},
        {"replace past the count",
         true,
         0x01001000,
         {{'A', 'a', 0, true}, {'S', 'b', 1, false}},
         "a",
         "a1 b0 c0 d0 e0 ",
         ""},
        {"replace by nothing",
         true,
         0x01001000,
         {{'A', 'a', 0, true}, {'S', 0, 0, false}},
         "a",
         "a1 b0 c0 d0 e0 ",
         ""},
        {"release all",
         true,
         0x01001000,
         {{'A', 'a', 0, true}, {'A', 'b', 0, true}, {'X', 0, 0, true}},
         "",
         "c0 d0 e0 ",
         "ab"},
        {"without references",
         false,
         0x01001000,
         {{'A', 'a', 0, true}, {'A', 'b', 0, true}, {'R', 0, 0, true}, {'X', 0, 0, true}},
         "",
         "a0 b0 c0 d0 e0 ",
         ""},
    };
    for (const CCase& test : cases) {
        CNods nods;
        {
            auto* buffer = static_cast<CMwRefBuffer*>(
                CMwClassRegistry::CreateNodById(CMwRefBuffer::s_ClassId));
            ASSERT_NE(buffer, nullptr);
            EXPECT_TRUE(buffer->SetHoldsReferences(test.Holds));
            EXPECT_TRUE(buffer->SetAcceptedClassId(test.Accepted));
            for (const CStep& step : test.Steps) {
                CHeldNod* nod = step.Nod ? nods[step.Nod] : nullptr;
                bool done = true;
                switch (step.Op) {
                    case 'A':
                        done = buffer->Add(nod);
                        break;
                    case 'I':
                        done = buffer->Insert(nod, step.Position);
                        break;
                    case 'R':
                        done = buffer->RemoveAt(step.Position);
                        break;
                    case 'N':
                        buffer->RemoveNod(nod);
                        break;
                    case 'S':
                        done = buffer->SetAt(step.Position, nod);
                        break;
                    default:
                        buffer->ReleaseAll();
                }
                EXPECT_EQ(done, step.Done) << test.Name << ": " << step.Op;
            }
            EXPECT_EQ(List(*buffer), test.List) << test.Name;
            EXPECT_EQ(nods.Counts(), test.Counts) << test.Name;
            EXPECT_EQ(g_Destroyed, test.Destroyed) << test.Name;
            // The flag and the class are chosen while the list is empty.
            EXPECT_EQ(buffer->SetHoldsReferences(!test.Holds), buffer->GetCount() == 0);
            buffer->SetHoldsReferences(test.Holds);
            const std::string destroyedBefore = g_Destroyed;
            delete buffer;
            // The buffer's own references went with it: a held nod whose last reference that was
            // is destroyed.
            for (u32 i = 0; i < nods.nods.size(); ++i)
                if (nods.Alive(i)) {
                    EXPECT_EQ(nods.nods[i]->GetRefCount(), 0) << test.Name << " " << i;
                }
            if (!test.Holds) {
                EXPECT_EQ(g_Destroyed, destroyedBefore) << test.Name;
            }
        }
    }
}

// Writes each nod reference as its index in a table of nods (-1 for none) and reads it back.
class CTableArchive : public CClassicArchive {
public:
    explicit CTableArchive(std::vector<CMwNod*> table) : m_Table(std::move(table)) {}

    void ArchiveNodRef(CMwNod*& nod) override {
        u32 index = 0xFFFFFFFF;
        if (m_Writing) {
            for (u32 i = 0; i < m_Table.size(); ++i)
                if (m_Table[i] == nod)
                    index = i;
            WriteUInts(&index, 1);
            return;
        }
        ReadUInts(&index, 1);
        nod = index < m_Table.size() ? m_Table[index] : nullptr;
    }

private:
    std::vector<CMwNod*> m_Table;
};

std::vector<u8> Bytes(std::initializer_list<u32> words) {
    std::vector<u8> bytes;
    for (u32 word : words)
        for (u32 i = 0; i < 4; ++i)
            bytes.push_back(u8(word >> (8 * i)));
    return bytes;
}

// Runs the buffer's chunked body through the archive in memory.
std::vector<u8> Write(CMwRefBuffer& buffer, CTableArchive& archive, bool text) {
    auto* stream = new CClassicBufferMemory;
    delete archive.DetachBuffer(false); // the archive deletes only the stream it holds
    archive.SetBuffer(stream);
    archive.m_Writing = 1;
    archive.m_Text = text;
    EXPECT_EQ(buffer.Archive(archive), 0u);
    return std::vector<u8>(stream->GetData(), stream->GetData() + stream->GetSize());
}

u32 Read(CMwRefBuffer& buffer, CTableArchive& archive, const std::vector<u8>& bytes, bool text) {
    auto* stream = new CClassicBufferMemory;
    if (!bytes.empty())
        stream->Write(bytes.data(), u32(bytes.size()));
    stream->Rewind();
    delete archive.DetachBuffer(false); // the archive deletes only the stream it holds
    archive.SetBuffer(stream);
    archive.m_Writing = 0;
    archive.m_Text = text;
    return buffer.Archive(archive);
}

TEST_F(MwRefBuffer, TheChunkHoldsTheNodsAsReferencesAndReadsBackWithTheirReferences) {
    CNods nods;
    CMwRefBuffer written;
    written.Add(nods['a']);
    written.Add(nods['e']);
    CTableArchive archive({nods['a'], nods['b'], nods['e']});

    const std::vector<u8> binary = Write(written, archive, false);
    EXPECT_EQ(binary, Bytes({0x01026000, 0x01001000, 1, 10, 2, 0, 2, 0xFACADE01}));
    const std::vector<u8> text = Write(written, archive, true);
    EXPECT_EQ(std::string(text.begin(), text.end()),
              "1026000\r\n16781312\r\nTrue\r\n10\r\n2\r\n0\r\n2\r\nfacade01\r\n");

    for (bool inText : {false, true}) {
        // Into a fresh buffer: one reference more on each nod read.
        CMwRefBuffer fresh;
        EXPECT_EQ(Read(fresh, archive, inText ? text : binary, inText), 0u);
        EXPECT_EQ(List(fresh), "ae");
        EXPECT_EQ(nods.Counts(), "a2 b0 c0 d0 e2 ");
        // Into a buffer holding nods: they are given back, the nod found in both keeps its own.
        CMwRefBuffer used;
        used.Add(nods['a']);
        used.Add(nods['c']);
        EXPECT_EQ(Read(used, archive, inText ? text : binary, inText), 0u);
        EXPECT_EQ(List(used), "ae");
        EXPECT_EQ(g_Destroyed, "c");
        EXPECT_EQ(nods.Counts(), "a3 b0 d0 e3 ");
        nods.Renew('c');
    }
    EXPECT_EQ(nods.Counts(), "a1 b0 c0 d0 e1 ");
}

// Stored data that cannot be right: the read fails with a log line (the stream's exception
// reaches the caller), nothing is allocated for a count the bytes cannot hold, and the list keeps
// what it held.
TEST_F(MwRefBuffer, ADamagedChunkLeavesTheListAsItWas) {
    struct CCase {
        const char* Name;
        std::vector<u8> Bytes;
        bool Fails;
        const char* List;
        const char* Log;
    };
    const CCase cases[] = {
        {"a count past the bytes left",
         Bytes({0x01026000, 0x01001000, 1, 10, 100, 0, 1, 0xFACADE01}), true, "ab",
         "past the end of the stream"},
        {"a huge count", Bytes({0x01026000, 0x01001000, 1, 10, 0xFFFFFFFF, 0}), true, "ab",
         "above the limit"},
        {"the stream ends inside the nods", Bytes({0x01026000, 0x01001000, 1, 10, 2, 0}), true,
         "ab", "Stream ended"},
        {"a nod of another class",
         Bytes({0x01026000, CSpecialNod::s_ClassId, 1, 10, 3, 0, 2, 4, 0xFACADE01}), false, "e",
         "not of the accepted class"},
    };
    for (const CCase& test : cases) {
        CNods nods;
        CTableArchive archive({nods['a'], nods['b'], nods['c'], nods['d'], nods['e']});
        CMwRefBuffer buffer;
        buffer.Add(nods['a']);
        buffer.Add(nods['b']);
        CLogWatch log;
        if (test.Fails)
            EXPECT_THROW(Read(buffer, archive, test.Bytes, false), CClassicBufferException)
                << test.Name;
        else
            EXPECT_EQ(Read(buffer, archive, test.Bytes, false), 0u) << test.Name;
        EXPECT_EQ(List(buffer), test.List) << test.Name;
        EXPECT_NE(log.Since().find(test.Log), std::string::npos)
            << test.Name << ": " << log.Since();
        ExpectOneReferencePerEntry(nods, List(buffer), test.Name);
    }
}

TEST_F(MwRefBuffer, NodsIsAListReachedThroughTheBuffer) {
    const CMwMemberInfo* nods = CMwClassRegistry::GetMemberInfo(CMwRefBuffer::s_NodsMemberId);
    ASSERT_NE(nods, nullptr);
    const auto& list = static_cast<const CMwMemberInfoContainer&>(*nods);
    EXPECT_EQ(list.TypeCode, u32(MwType_Class + MwTypeBuffer));
    EXPECT_STREQ(list.Name, "Nods");
    EXPECT_STREQ(list.FieldName, "m_FastBuffer");
    EXPECT_STREQ(list.Label, "Nods");
    EXPECT_EQ(list.Flags, 0xCDu);
    EXPECT_EQ(list.Mask, 0x3F82u);
    EXPECT_EQ(list.ElementFlags, 0xFu);
    EXPECT_STREQ(list.ElementName, "Nod");
    EXPECT_EQ(list.ElementType, u32(MwType_Class));
    EXPECT_EQ(list.ElementClassInfo, &CMwNod::s_ClassInfo);

    CMwRefBuffer buffer;
    EXPECT_EQ(buffer.MemberCount(), 2u);
    EXPECT_EQ(buffer.MemberIdByIndex(1), 0x01026000u);
    EXPECT_EQ(buffer.ChunkCount(), 2u);
    EXPECT_EQ(buffer.ChunkIdByIndex(0), 0x01001000u);
    EXPECT_EQ(buffer.ChunkIdByIndex(1), 0x01026000u);
    EXPECT_EQ(buffer.GetChunkInfo(0x01026000), 3u);
}

TEST_F(MwRefBuffer, NodsAddsAndRemovesThroughTheBufferAlongPaths) {
    struct CCase {
        const char* Name;
        std::vector<CItem> (*Items)();
        EMwMemberFlags Op;
        char Nod;   // Add's input nod
        u32 Number; // Sub's position, or the number for a nod's member
        u32 Result;
        const char* List;
        u32 BValue; // b's member afterwards
    };
    constexpr u32 kNods = CMwRefBuffer::s_NodsMemberId;
    const CCase cases[] = {
        {"append", [] { return std::vector{M(kNods)}; }, MwMember_Add, 'd', 0, 0, "abcd", 0},
        {"append a nod of a derived class", [] { return std::vector{M(kNods)}; }, MwMember_Add, 'e',
         0, 0, "abce", 0},
        {"remove the second", [] { return std::vector{M(kNods)}; }, MwMember_Sub, 0, 1, 0, "ac", 0},
        {"remove past the count", [] { return std::vector{M(kNods)}; }, MwMember_Sub, 0, 3, 0,
         "abc", 0},
        {"add in an element",
         [] {
             return std::vector{M(kNods), I(1), M(kValueMember)};
         },
         MwMember_Add, 0, 5, 0, "abc", 5},
        {"subtract in a named element",
         [] {
             return std::vector{M(kNods), N("b"), M(kValueMember)};
         },
         MwMember_Sub, 0, 5, 0, "abc", 0xFFFFFFFB},
        {"an element past the count",
         [] {
             return std::vector{M(kNods), I(7), M(kValueMember)};
         },
         MwMember_Add, 0, 5, 0, "abc", 0},
        {"a name no nod has",
         [] {
             return std::vector{M(kNods), N("z"), M(kValueMember)};
         },
         MwMember_Add, 0, 5, 0, "abc", 0},
        {"an element alone",
         [] {
             return std::vector{M(kNods), I(1)};
         },
         MwMember_Add, 'd', 0, 0, "abc", 0},
        {"set an element",
         [] {
             return std::vector{M(kNods), I(1)};
         },
         MwMember_Set, 'd', 0, 2, "abc", 0},
        {"set in an element",
         [] {
             return std::vector{M(kNods), I(1), M(kValueMember)};
         },
         MwMember_Set, 0, 9, 0, "abc", 9},
    };
    for (const CCase& test : cases) {
        CNods nods;
        CMwRefBuffer buffer;
        for (char c : std::string("abc"))
            buffer.Add(nods[c]);
        CMwMemberPath path;
        Build(path, test.Items());
        const void* input = test.Nod ? static_cast<const void*>(nods[test.Nod]) : &test.Number;
        u32 result = 0;
        switch (test.Op) {
            case MwMember_Add:
                result = buffer.AddParam(&path, input);
                break;
            case MwMember_Sub:
                result = buffer.SubParam(&path, input);
                break;
            default:
                result = buffer.SetParam(&path, input);
        }
        EXPECT_EQ(result, test.Result) << test.Name;
        EXPECT_EQ(List(buffer), test.List) << test.Name;
        if (nods.Alive(1)) {
            EXPECT_EQ(nods['b']->m_Value, test.BValue) << test.Name;
        }
        ExpectOneReferencePerEntry(nods, List(buffer), test.Name);
    }

    // Reading and checking go through the container descriptor.
    CNods nods;
    CMwRefBuffer buffer;
    buffer.Add(nods['a']);
    buffer.Add(nods['b']);
    CMwMemberPath path;
    CMwParamValue value;
    ASSERT_EQ(path.ParseFromText(0xFFFFFFFF, &buffer, CClassicString("Nods.1")), 0u);
    EXPECT_EQ(buffer.CheckParam(&path), 0u);
    path.Reset();
    ASSERT_EQ(buffer.GetParam(&path, &value), 0u);
    EXPECT_EQ(value.Value, nods['b']);
    ASSERT_EQ(path.ParseFromText(0xFFFFFFFF, &buffer, CClassicString("Nods.2")), 0u);
    EXPECT_EQ(buffer.CheckParam(&path), 2u);
}

// The RefBuffer kind, on a buffer embedded in its owner.
TEST_F(MwRefBuffer, TheRefBufferKindChangesTheListThroughTheBuffer) {
    struct CCase {
        const char* Name;
        std::vector<CItem> (*Items)(); // after the member
        EMwMemberFlags Op;
        char Nod;
        u32 Number;
        u32 Result;
        const char* List;
        const char* Destroyed;
        u32 BValue;
    };
    using Items = std::vector<CItem>;
    const CCase cases[] = {
        {"append", [] { return Items{}; }, MwMember_Add, 'd', 0, 0, "abcd", "", 0},
        {"insert at the front", [] { return Items{I(0)}; }, MwMember_Add, 'd', 0, 0, "dabc", "", 0},
        {"insert at the count", [] { return Items{I(3)}; }, MwMember_Add, 'd', 0, 0, "abcd", "", 0},
        {"insert past the count", [] { return Items{I(4)}; }, MwMember_Add, 'd', 0, 2, "abc", "",
         0},
        {"insert before a name", [] { return Items{N("b")}; }, MwMember_Add, 'd', 0, 0, "adbc", "",
         0},
        {"add in an element",
         [] {
             return Items{I(1), M(kValueMember)};
         },
         MwMember_Add, 0, 4, 0, "abc", "", 4},
        {"add in an element past the count",
         [] {
             return Items{I(3), M(kValueMember)};
         },
         MwMember_Add, 0, 4, 2, "abc", "", 0},
        {"remove the second", [] { return Items{}; }, MwMember_Sub, 0, 1, 0, "ac", "b", 0},
        {"remove past the count", [] { return Items{}; }, MwMember_Sub, 0, 3, 2, "abc", "", 0},
        {"an element alone is not removed", [] { return Items{I(1)}; }, MwMember_Sub, 0, 0, 0,
         "abc", "", 0},
        {"subtract in a named element",
         [] {
             return Items{N("b"), M(kValueMember)};
         },
         MwMember_Sub, 0, 1, 0, "abc", "", 0xFFFFFFFF},
        {"replace an element", [] { return Items{I(1)}; }, MwMember_Set, 'd', 0, 0, "adc", "b", 0},
        {"replace an element by itself", [] { return Items{I(1)}; }, MwMember_Set, 'b', 0, 0, "abc",
         "", 0},
        {"replace past the count", [] { return Items{I(3)}; }, MwMember_Set, 'd', 0, 2, "abc", "",
         0},
        {"replace by nothing", [] { return Items{I(1)}; }, MwMember_Set, 0, 0, 2, "abc", "", 0},
        {"a name no nod has", [] { return Items{N("z")}; }, MwMember_Set, 'd', 0, 2, "abc", "", 0},
        {"set in an element",
         [] {
             return Items{N("b"), M(kValueMember)};
         },
         MwMember_Set, 0, 6, 0, "abc", "", 6},
        {"set the whole list", [] { return Items{}; }, MwMember_Set, 'd', 0, 0, "abc", "", 0},
    };
    for (const CCase& test : cases) {
        CNods nods;
        auto* owner = new COwnerNod;
        for (char c : std::string("abc"))
            owner->m_Held.Add(nods[c]);
        std::vector<CItem> items{M(kHeldMember)};
        for (const CItem& item : test.Items())
            items.push_back(item);
        CMwMemberPath path;
        Build(path, items);
        const void* input = test.Nod ? static_cast<const void*>(nods[test.Nod])
                            : test.Op == MwMember_Set && items.size() == 2 ? nullptr
                                                                           : &test.Number;
        u32 result = 0;
        switch (test.Op) {
            case MwMember_Add:
                result = owner->AddParam(&path, input);
                break;
            case MwMember_Sub:
                result = owner->SubParam(&path, input);
                break;
            default:
                result = owner->SetParam(&path, input);
        }
        EXPECT_EQ(result, test.Result) << test.Name;
        EXPECT_EQ(List(owner->m_Held), test.List) << test.Name;
        EXPECT_EQ(g_Destroyed, test.Destroyed) << test.Name;
        if (nods.Alive(1)) {
            EXPECT_EQ(nods['b']->m_Value, test.BValue) << test.Name;
        }
        ExpectOneReferencePerEntry(nods, List(owner->m_Held), test.Name);
        delete owner; // gives every reference back
        ExpectOneReferencePerEntry(nods, "", test.Name);
    }
}

// Lists that hold references but whose flags allow no Set, Add or Sub: a path changes neither
// list nor any reference count, yet still leads into the nods they hold.
TEST_F(MwRefBuffer, AReadOnlyListOfReferencesIsNotChangedAlongPaths) {
    struct CCase {
        const char* Name;
        std::vector<CItem> (*Items)(); // after the list member
        EMwMemberFlags Op;
        char Nod;
        u32 Number;
        u32 Result;
        u32 BValue;
    };
    using Items = std::vector<CItem>;
    const CCase cases[] = {
        {"append", [] { return Items{}; }, MwMember_Add, 'd', 0, 2, 0},
        {"append a null nod", [] { return Items{}; }, MwMember_Add, 0, 0, 2, 0},
        {"insert at the front", [] { return Items{I(0)}; }, MwMember_Add, 'd', 0, 2, 0},
        {"remove the second", [] { return Items{}; }, MwMember_Sub, 0, 1, 2, 0},
        {"remove by an element", [] { return Items{I(1)}; }, MwMember_Sub, 0, 0, 2, 0},
        {"replace an element", [] { return Items{I(1)}; }, MwMember_Set, 'd', 0, 2, 0},
        {"add in an element",
         [] {
             return Items{I(1), M(kValueMember)};
         },
         MwMember_Add, 0, 5, 0, 5},
        {"subtract in a named element",
         [] {
             return Items{N("b"), M(kValueMember)};
         },
         MwMember_Sub, 0, 5, 0, 0xFFFFFFFB},
        {"set in an element",
         [] {
             return Items{I(1), M(kValueMember)};
         },
         MwMember_Set, 0, 9, 0, 9},
    };
    const auto kept = [](const CKeeperNod& keeper) {
        std::string text;
        for (u32 i = 0; i < keeper.m_Kept.m_Count; ++i)
            text += static_cast<const CHeldNod*>(keeper.m_Kept.m_Items[i])->m_Name;
        return text;
    };
    for (const u32 member : {kKeptMember, kShownMember}) {
        for (const CCase& test : cases) {
            SCOPED_TRACE(testing::Message()
                         << (member == kKeptMember ? "Kept " : "Shown ") << test.Name);
            CNods nods;
            auto* keeper = new CKeeperNod;
            for (char c : std::string("abc")) {
                keeper->Keep(nods[c]);
                keeper->m_Shown.Add(nods[c]);
            }
            std::vector<CItem> items{M(member)};
            for (const CItem& item : test.Items())
                items.push_back(item);
            CMwMemberPath path;
            Build(path, items);
            const void* input = test.Nod ? static_cast<const void*>(nods[test.Nod])
                                : test.Op == MwMember_Add && items.size() == 1 ? nullptr
                                                                               : &test.Number;
            u32 result = 0;
            switch (test.Op) {
                case MwMember_Add:
                    result = keeper->AddParam(&path, input);
                    break;
                case MwMember_Sub:
                    result = keeper->SubParam(&path, input);
                    break;
                default:
                    result = keeper->SetParam(&path, input);
            }
            EXPECT_EQ(result, test.Result);
            EXPECT_EQ(kept(*keeper), "abc");
            EXPECT_EQ(List(keeper->m_Shown), "abc");
            EXPECT_EQ(nods.Counts(), "a2 b2 c2 d0 e0 ");
            EXPECT_EQ(nods['b']->m_Value, test.BValue);
            delete keeper; // gives every reference back, once
            EXPECT_EQ(g_Destroyed, "abc");
        }
    }
}

TEST_F(MwRefBuffer, TheRefBufferKindReadsAndLeadsIntoItsNods) {
    CNods nods;
    COwnerNod owner;
    for (char c : std::string("abc"))
        owner.m_Held.Add(nods[c]);
    nods['b']->m_Value = 7;
    CMwParam* kind = CMwParam::GetDescriptor(MwType_RefBuffer);
    ASSERT_NE(kind, nullptr);
    EXPECT_TRUE(kind->IsRefBuffer() && kind->IsContainerKind());

    struct CCase {
        const char* Name;
        std::vector<CItem> (*Items)();
        u32 Check;
        u32 Result;
        std::string (*Read)(COwnerNod&, const CMwParamValue&);
        const char* Expected;
    };
    const auto nodName = [](COwnerNod&, const CMwParamValue& v) {
        return std::string(1, static_cast<CHeldNod*>(v.Value)->m_Name);
    };
    const CCase cases[] = {
        {"the buffer", [] { return std::vector{M(kHeldMember)}; }, 0, 0,
         [](COwnerNod& o, const CMwParamValue& v) {
             return std::string(v.Value == &o.m_Held ? "the buffer" : "?") + " of " +
                    std::to_string(CMwParam::GetDescriptor(MwType_RefBuffer)->GetCount(v));
         },
         "the buffer of 3"},
        {"an element",
         [] {
             return std::vector{M(kHeldMember), I(1)};
         },
         0, 0, nodName, "b"},
        {"a named element",
         [] {
             return std::vector{M(kHeldMember), N("c")};
         },
         0, 0, nodName, "c"},
        {"in an element",
         [] {
             return std::vector{M(kHeldMember), I(1), M(kValueMember)};
         },
         0, 0,
         [](COwnerNod&, const CMwParamValue& v) {
             return std::to_string(*static_cast<u32*>(v.Value));
         },
         "7"},
        {"past the count",
         [] {
             return std::vector{M(kHeldMember), I(3)};
         },
         2, 2, nullptr, ""},
        {"a name no nod has",
         [] {
             return std::vector{M(kHeldMember), N("z")};
         },
         2, 2, nullptr, ""},
        {"in an element past the count",
         [] {
             return std::vector{M(kHeldMember), I(3), M(kValueMember)};
         },
         2, 2, nullptr, ""},
        {"the length item",
         [] {
             return std::vector{M(kHeldMember), I(0xFFFFFFFF)};
         },
         2, 2, nullptr, ""},
    };
    for (const CCase& test : cases) {
        CMwMemberPath path;
        Build(path, test.Items());
        EXPECT_EQ(owner.CheckParam(&path), test.Check) << test.Name;
        path.Reset();
        CMwParamValue value;
        EXPECT_EQ(owner.GetParam(&path, &value), test.Result) << test.Name;
        if (test.Read) {
            EXPECT_EQ(test.Read(owner, value), test.Expected) << test.Name;
        }
    }

    // The children are the element indices.
    struct CVisitor {
        i32 Visit(CMwMemberPath* path, void*) {
            visited.push_back(u32(path->m_Values[0]));
            return 1;
        }
        std::vector<u32> visited;
    } visitor;
    CMwMemberPath base, scratch;
    Build(base, {M(kHeldMember)});
    kind->ForEachChildPath(&owner, &base, &scratch, &visitor,
                           MwChildPathThunk<&CVisitor::Visit>::Call, nullptr, 1);
    EXPECT_EQ(visitor.visited, (std::vector<u32>{1, 2}));
    u32 first = 0, second = 0;
    kind->GetKindPair(&first, &second);
    EXPECT_EQ(first * 10 + second, 12u);
}

TEST_F(MwRefBuffer, TheViewerShowsTheClassIdOfItsRecord) {
    const CMwMemberInfo* member =
        CMwClassRegistry::GetMemberInfo(CMwClassInfoViewer::s_ClassIdMemberId);
    ASSERT_NE(member, nullptr);
    EXPECT_EQ(member->TypeCode, u32(MwType_Natural));
    EXPECT_EQ(member->Flags, 0x11u);
    EXPECT_EQ(member->FieldOffset, -1);
    EXPECT_STREQ(member->Name, "ClassId");
    EXPECT_STREQ(member->Label, "ClassId");

    auto* viewer = static_cast<CMwClassInfoViewer*>(
        CMwClassRegistry::CreateNodById(CMwClassInfoViewer::s_ClassId));
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->MemberCount(), 2u);
    EXPECT_EQ(viewer->MemberIdByIndex(1), 0x01022000u);
    EXPECT_EQ(viewer->ChunkCount(), 1u);
    struct CCase {
        CMwClassInfo* Info;
        u32 ClassId;
    };
    for (const CCase& test :
         {CCase{nullptr, 0xFFFFFFFF}, CCase{&CMwRefBuffer::s_ClassInfo, 0x01026000}}) {
        viewer->m_ClassInfo = test.Info;
        CMwMemberPath path;
        ASSERT_EQ(path.ParseFromText(0xFFFFFFFF, viewer, CClassicString("ClassId")), 0u);
        CMwParamValue value;
        ASSERT_EQ(viewer->GetParam(&path, &value), 0u);
        EXPECT_EQ(*static_cast<const u32*>(value.Value), test.ClassId);
        // Read only.
        path.Reset();
        const u32 other = 5;
        EXPECT_EQ(viewer->SetParam(&path, &other), 2u);
        EXPECT_EQ(viewer->SetParamFromText(CClassicString("ClassId"), u"5"), 2u);
    }
    // The root's member still answers.
    CMwMemberPath path;
    ASSERT_EQ(path.ParseFromText(0xFFFFFFFF, viewer, CClassicString("IdName")), 0u);
    CMwParamValue value;
    EXPECT_EQ(viewer->GetParam(&path, &value), 0u);
    delete viewer;
}

} // namespace
