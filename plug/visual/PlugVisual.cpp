#include "plug/visual/PlugVisual.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwBitFieldMember.h"
#include "core/nod/MwParam.h"
#include "core/nod/MwVirtualMember.h"
#include "plug/visual/PlugVertexStream.h"
#include "system/archive/SystemArchive.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "raw blocks are copied as bytes");

CPlugVisualListener* g_PlugVisualListener = nullptr;

namespace {

enum EMember : u32 {
    mInverse = 0x09006000,
    mIsGeometryStatic,
    mIsGeometryDynaPart,
    mIsIndexationStatic,
    mOptimizeInVision,
    mVertexCount,
    mUseVertexNormal,
    mUseVertexColor,
    mTexCoordCount,
    mSkinIndexCount,
    mSubVisualCount,
    mSplitCount,
    mFuncVisual,
    mBBoxCenter,
    mBBoxHalfDiag,
    mFCullFrontTop,
    mFCullFrontDir,
    mFCullFrontCos,
    mFCullBackTop,
    mFCullBackDir,
    mFCullBackCos,
    mNPatchTessLevel,
    mVertexStreams,
    mEnd
};
static_assert(mEnd - mInverse == 23);

// The flag members: a write stores the bits and, when the word changed, raises the pending bit
// given as the rule (0: nothing).
constexpr auto kFlagMembers = MwBitFieldTable<CPlugVisual::s_ClassId, 1>({
    // member id, word, first bit, width, largest value, pending bit raised by a change
    {mIsGeometryStatic, 0, 3, 1, 1, CPlugVisual::s_PendingGeometryBit},
    {mIsGeometryDynaPart, 0, 18, 1, 1, 0},
    {mIsIndexationStatic, 0, 5, 1, 1, CPlugVisual::s_PendingGeometryBit},
    {mOptimizeInVision, 0, 17, 1, 1, CPlugVisual::s_PendingGeometryBit},
    {mUseVertexNormal, 0, 7, 1, 1, CPlugVisual::s_PendingLayoutBit},
    {mUseVertexColor, 0, 8, 1, 1, CPlugVisual::s_PendingLayoutBit},
    {mSkinIndexCount, 0, 0, 3, 7, 0},
});

constexpr const char* kXyzNames[] = {"x", "y", "z"};

// The class of the FuncVisual member and chunk. The function nods have no class in this system
// yet: the row names the nod's record, and the chunk refuses every stored function.
constexpr CMwClassInfo* kFuncVisualClass = &CMwNod::s_ClassInfo;

} // namespace

#define CPLUGVISUAL_MEMBERS(X)                                                                     \
    X(Action, 0x09006000, "Inverse", MW_VIRTUAL(""), "Inverse", 0x02, 0x380,                       \
      MwThunk<&CPlugVisual::Inverse>::Call)                                                        \
    X(Bool, 0x09006001, "IsGeometryStatic", MW_VIRTUAL(""), "StaticGeom", 0x33, 0x380)             \
    X(Bool, 0x09006002, "IsGeometryDynaPart", MW_VIRTUAL(""), "DynaPartGeom", 0x11, 0x380)         \
    X(Bool, 0x09006003, "IsIndexationStatic", MW_VIRTUAL(""), "StaticIndex", 0x33, 0x380)          \
    X(Bool, 0x09006004, "OptimizeInVision", MW_VIRTUAL(""), "OptimizeInVision", 0x33, 0x380)       \
    X(Natural, 0x09006005, "VertexCount", MW_VIRTUAL(""), "VertexCount", 0x11, 0x380)              \
    X(Bool, 0x09006006, "UseVertexNormal", MW_VIRTUAL(""), "Vert.Normal", 0x33, 0x380)             \
    X(Bool, 0x09006007, "UseVertexColor", MW_VIRTUAL(""), "Vert.Color", 0x33, 0x380)               \
    X(Natural, 0x09006008, "TexCoordCount", MW_VIRTUAL(""), "NbTexCoord", 0x11, 0x380)             \
    X(Natural, 0x09006009, "SkinIndexCount", MW_VIRTUAL(""), "NbSkinIndex", 0x11, 0x380)           \
    X(Natural, 0x0900600A, "SubVisualCount", MW_VIRTUAL(""), "NbSubVisual", 0x11, 0x380)           \
    X(Natural, 0x0900600B, "SplitCount", MW_VIRTUAL(""), "NbSplit", 0x11, 0x380)                   \
    X(Class, 0x0900600C, "FuncVisual", MW_VIRTUAL(""), "FuncVisual", 0xFF, 0x3FA0,                 \
      kFuncVisualClass, 1)                                                                         \
    X(Vec3, 0x0900600D, "BBoxCenter", MW_FIELD(m_BBoxCenter), "BBoxCenter", 0x01, 0x380,           \
      kXyzNames)                                                                                   \
    X(Vec3, 0x0900600E, "BBoxHalfDiag", MW_FIELD(m_BBoxHalfDiag), "BBoxHalfDiag", 0x01, 0x380,     \
      kXyzNames)                                                                                   \
    X(Vec3, 0x0900600F, "FCullFrontTop", MW_VIRTUAL(""), "FCullFront Top", 0x11, 0x380, kXyzNames) \
    X(Vec3, 0x09006010, "FCullFrontDir", MW_VIRTUAL(""), "FCullFront Dir", 0x11, 0x380, kXyzNames) \
    X(Real, 0x09006011, "FCullFrontCos", MW_VIRTUAL(""), "FCullFront Cos", 0x11, 0x380)            \
    X(Vec3, 0x09006012, "FCullBackTop", MW_VIRTUAL(""), "FCullBack Top", 0x11, 0x380, kXyzNames)   \
    X(Vec3, 0x09006013, "FCullBackDir", MW_VIRTUAL(""), "FCullBack Dir", 0x11, 0x380, kXyzNames)   \
    X(Real, 0x09006014, "FCullBackCos", MW_VIRTUAL(""), "FCullBack Cos", 0x11, 0x380)              \
    X(Real, 0x09006015, "NPatchTessLevel", MW_VIRTUAL("m_NPatchTessLevel"), "NPatchTessLevel",     \
      0x33, 0x380)                                                                                 \
    X(Array, 0x09006016, "VertexStreams", MW_FIELD(m_VertexStreams), "VertexStreams", 0x01, 0x382, \
      MwType_Class, 0x1, "VertexStream", &CPlugVertexStream::s_ClassInfo)
#define CPLUGVISUAL_CHUNKS(X)                                                                      \
    X(0x09006000, 1)                                                                               \
    X(0x09006001, 3)                                                                               \
    X(0x09006002, 1)                                                                               \
    X(0x09006003, 1)                                                                               \
    X(0x09006004, 3)                                                                               \
    X(0x09006005, 3)                                                                               \
    X(0x09006006, 3)                                                                               \
    X(0x09006007, 3)                                                                               \
    X(0x09006008, 1)                                                                               \
    X(0x09006009, 3)                                                                               \
    X(0x0900600A, 3)                                                                               \
    X(0x0900600B, 3)

MW_DEFINE_CLASS(CPlugVisual, nullptr, CPLUGVISUAL_MEMBERS, CPLUGVISUAL_CHUNKS);

namespace {

// A refused chunk: one log line with the reason, then the failure of a damaged stream, which the
// operation that started the read catches.
[[noreturn]] void Refuse(u32 chunkId, const char* reason, u64 value) {
    ClassicLogFormatLine("CPlugVisual: chunk 0x%08X not read: %s (%llu)", chunkId, reason,
                         static_cast<unsigned long long>(value));
    throw CClassicBufferException(kClassicBufferErrorBadData, u"Bad visual");
}

// Bytes left in a stream that knows its size; the largest u64 for one that does not.
u64 BytesLeft(CClassicArchive& archive) {
    const CClassicBuffer* stream = archive.GetBuffer();
    if (!stream || !stream->CanSeek())
        return UINT64_MAX;
    return stream->GetSize() > stream->GetPosition() ? stream->GetSize() - stream->GetPosition()
                                                     : 0;
}

// The fewest bytes a stored count of `items` values (u32, bool, float, reference) can take.
u64 LeastValueBytes(const CClassicArchive& archive, u64 items) {
    // A text value is at least its line end.
    return items * (archive.m_Text ? 2 : 4);
}

// Refuses a count whose items cannot all be in the bytes left, or whose raw block is past the
// archive's largest.
void CheckCount(CClassicArchive& archive, u32 chunkId, const char* what, u64 count, u64 least,
                bool raw) {
    if (count * least > BytesLeft(archive) || (raw && count * least > kClassicArchiveMaxRawSize))
        Refuse(chunkId, what, count);
}

// Writes `have` bytes of the block, then zeros up to `want`.
void WriteBlock(CClassicArchive& archive, const u8* data, u64 have, u64 want) {
    static constexpr u8 kZeros[4096] = {};
    have = std::min(have, want);
    if (have)
        archive.WriteRaw(data, u32(have));
    for (u64 done = have; done < want;) {
        const u32 piece = u32(std::min<u64>(want - done, sizeof kZeros));
        archive.WriteRaw(kZeros, piece);
        done += piece;
    }
}

u32 SerializeWord(CClassicArchive& archive, u32 value) {
    archive.SerializeUInts(&value, 1);
    return value;
}

u32 SerializeBool(CClassicArchive& archive, u32 value) {
    archive.SerializeBools(&value, 1);
    return value;
}

u32 ReadU32(const void* value) {
    u32 v;
    std::memcpy(&v, value, sizeof v);
    return v;
}

// The copy of min(n, from's count) elements of from's size into a block of n elements of
// `bytes` (zeros past them).
std::unique_ptr<u8[]> CopyElements(const u8* from, u32 fromCount, u32 n, u32 bytes) {
    const size_t size = size_t(n) * bytes;
    const size_t kept = from ? size_t(std::min(n, fromCount)) * bytes : 0;
    std::unique_ptr<u8[]> block(new u8[size + 1]);
    if (kept)
        std::memcpy(block.get(), from, kept);
    std::memset(block.get() + kept, 0, size + 1 - kept);
    return block;
}

u32 AnswerStruct(CMwMemberInfo& member, CMwMemberPath* path, CMwParamValue* out,
                 const Vec3& value) {
    MwAnswerValue(out, value);
    return member.Param->Get(out->Scratch, path, out);
}

} // namespace

void TexCoordSet::Allocate(u32 n) {
    m_Data.reset(new u8[size_t(n) * ElementBytes() + 1]());
    m_Count = n;
}

void PlugVisualSkin::Allocate(u32 n, u32 entryBytes) {
    m_Data.reset(new u8[size_t(n) * entryBytes + 1]());
    m_Count = n;
    m_EntryBytes = entryBytes;
}

// ---------------------------------------------------------------------------------------------
// Life

CPlugVisual::CPlugVisual(const CPlugVisual& source)
    : CPlug(),
      m_Flags((source.m_Flags & ~(s_SkinIndexMask | s_OptimizeInVisionBit | s_DynaPartBit)) |
              s_PendingLayoutBit | s_PendingIndicesBit | s_PendingGeometryBit |
              s_FaceCullPendingBit) {}

CPlugVisual::~CPlugVisual() {
    // Clearing the sets raises pending geometry while the visual is still whole.
    ClearTexCoordSets();
    m_Skin.reset();
    SetFuncVisual(nullptr);
    m_FaceCull.reset();
    m_SubVisuals.clear();
    ReleaseStreams();
    m_Splits.clear();
}

void CPlugVisual::ReleaseStreams() {
    const u32 count = m_VertexStreams.m_Count;
    CMwNod** streams = m_VertexStreams.m_Items;
    m_VertexStreams.m_Items = nullptr;
    m_VertexStreams.m_Count = 0;
    for (u32 i = 0; i < count; ++i)
        streams[i]->Release();
    // The block was the array's: give it back the way the array frees it.
    CFastArray<CMwNod*> old;
    old.m_Items = streams;
    old.m_Count = count;
}

// ---------------------------------------------------------------------------------------------
// Flags

void CPlugVisual::RaisePending(u32 bit) {
    if (m_Flags & bit)
        return;
    m_Flags |= bit;
    if (g_PlugVisualListener)
        g_PlugVisualListener->OnVisualChanged(this);
}

void CPlugVisual::SetGeometryDirty(bool dirty) {
    if (dirty)
        RaisePending(s_PendingGeometryBit);
    else
        m_Flags &= ~s_PendingGeometryBit;
}

void CPlugVisual::SetUseVertexNormal(bool on) {
    if (on == UseVertexNormal())
        return;
    m_Flags ^= s_VertexNormalBit;
    RaisePending(s_PendingLayoutBit);
}

void CPlugVisual::SetUseVertexColor(bool on) {
    if (on == UseVertexColor())
        return;
    m_Flags ^= s_VertexColorBit;
    RaisePending(s_PendingLayoutBit);
}

void CPlugVisual::SetOptimizeInVision(bool on) {
    if (on == ((m_Flags & s_OptimizeInVisionBit) != 0))
        return;
    m_Flags ^= s_OptimizeInVisionBit;
    RaisePending(s_PendingGeometryBit);
}

void CPlugVisual::SetSkinIndexCount(u32 count) {
    count &= s_SkinIndexMask;
    if (count > kPlugSkinMaxIndexCount)
        return;
    m_Flags = (m_Flags & ~s_SkinIndexMask) | count;
    if (count == 0) {
        m_Skin.reset();
        return;
    }
    m_Skin = std::make_unique<PlugVisualSkin>();
    m_Skin->m_EntryBytes = kPlugSkinEntryBytes[count];
}

PlugVisualSkin& CPlugVisual::EnsureSkinBlock(u32 n) {
    const u32 entryBytes = kPlugSkinEntryBytes[GetSkinIndexCount()];
    if (!m_Skin)
        m_Skin = std::make_unique<PlugVisualSkin>();
    if (!m_Skin->m_Data || m_Skin->m_Count != n || m_Skin->m_EntryBytes != entryBytes)
        m_Skin->Allocate(n, entryBytes);
    return *m_Skin;
}

// ---------------------------------------------------------------------------------------------
// Texture-coordinate sets, streams, function

i32 CPlugVisual::AddTexCoordSet(TexCoordSet& set) {
    if (!set.m_Data)
        return -1;
    for (u32 i = 0; i < m_TexCoordSets.size(); ++i)
        if (m_TexCoordSets[i].m_Data.get() == set.m_Data.get()) {
            (void)set.m_Data.release();
            set.m_Count = 0;
            return i32(i);
        }
    if (m_TexCoordSets.size() >= kPlugVisualMaxTexCoordSets || set.m_Format > 2)
        return -1;
    m_TexCoordSets.push_back(std::move(set));
    set = TexCoordSet();
    RaisePending(s_PendingGeometryBit);
    return i32(m_TexCoordSets.size() - 1);
}

i32 CPlugVisual::AddDefaultTexCoordSet(f32 scaleU, f32 scaleV, f32, f32 offsetU, f32 offsetV) {
    if (m_TexCoordSets.size() >= kPlugVisualMaxTexCoordSets)
        return -1;
    TexCoordSet set;
    MakeDefaultTexCoords(set, 0);
    if (set.m_Format == 0 &&
        (std::fabs(scaleU - 1.0f) >= 0.00001f || std::fabs(scaleV - 1.0f) >= 0.00001f)) {
        auto* uv = reinterpret_cast<f32*>(set.m_Data.get());
        for (u32 i = 0; i < set.m_Count; ++i) {
            uv[2 * i] = scaleU * uv[2 * i] + offsetU;
            uv[2 * i + 1] = scaleV * uv[2 * i + 1] + offsetV;
        }
    }
    m_TexCoordSets.push_back(std::move(set));
    RaisePending(s_PendingGeometryBit);
    return i32(m_TexCoordSets.size() - 1);
}

void CPlugVisual::ClearTexCoordSets() {
    m_TexCoordSets.clear();
    RaisePending(s_PendingGeometryBit);
}

void CPlugVisual::AddVertexStream(CPlugVertexStream* stream) {
    if (!stream)
        return;
    u32 at = m_VertexStreams.m_Count;
    if (!stream->SkipVision())
        for (u32 i = 0; i < m_VertexStreams.m_Count && at == m_VertexStreams.m_Count; ++i)
            if (GetVertexStream(i)->SkipVision())
                at = i;
    stream->AddRef();
    m_VertexStreams.Grow(1);
    for (u32 i = m_VertexStreams.m_Count - 1; i > at; --i)
        m_VertexStreams[i] = m_VertexStreams[i - 1];
    m_VertexStreams[at] = stream;
    RaisePending(s_PendingGeometryBit);
}

CPlugVertexStream* CPlugVisual::GetVertexStream(u32 i) const {
    return static_cast<CPlugVertexStream*>(m_VertexStreams[i]);
}

void CPlugVisual::SetFuncVisual(CMwNod* func) {
    if (func) {
        if (!m_FuncVisual)
            m_FuncVisual = std::make_unique<PlugFuncVisualHolder>();
        func->AddRef();
        CMwNod* old = m_FuncVisual->m_Func;
        m_FuncVisual->m_Func = func;
        if (old)
            old->Release();
        return;
    }
    if (!m_FuncVisual)
        return;
    const std::unique_ptr<PlugFuncVisualHolder> holder = std::move(m_FuncVisual);
    if (holder->m_Func)
        holder->m_Func->Release();
    if (holder->m_Source)
        holder->m_Source->Release();
}

// ---------------------------------------------------------------------------------------------
// Operations

CPlugVisual* CPlugVisual::Duplicate(u32 maxStreams) {
    // The stream list is taken out while the copy is made, and put back whatever happens.
    struct StreamsOut {
        CFastArray<CMwNod*>& List;
        CMwNod** Items;
        u32 Count;
        explicit StreamsOut(CFastArray<CMwNod*>& list)
            : List(list), Items(list.m_Items), Count(list.m_Count) {
            list.m_Items = nullptr;
            list.m_Count = 0;
        }
        ~StreamsOut() {
            List.m_Items = Items;
            List.m_Count = Count;
        }
    };
    CMwNod* copy = this;
    {
        const StreamsOut out(m_VertexStreams);
        if (!DuplicateNod(&copy, false) || !copy)
            return nullptr;
    }
    if (!copy->IsKindOf(s_ClassId)) {
        CMwNodRef drop(copy);
        return nullptr;
    }
    auto* visual = static_cast<CPlugVisual*>(copy);
    for (u32 i = 0; i < std::min(maxStreams, m_VertexStreams.m_Count); ++i)
        visual->AddVertexStream(GetVertexStream(i));
    visual->m_BBoxCenter = m_BBoxCenter;
    visual->m_BBoxHalfDiag = m_BBoxHalfDiag;
    return visual;
}

CPlugVisual* CPlugVisual::Stripify(bool, u32) {
    return nullptr;
}

SPlugVertexBuffer* CPlugVisual::GetInterleavedVertices(bool position, bool normal, bool colour) {
    const u32 wanted = PlugVertexKindMask(EPlugVertexKind_Position) |
                       PlugVertexKindMask(EPlugVertexKind_Normal) |
                       PlugVertexKindMask(EPlugVertexKind_Color0);
    for (u32 i = 0; i < m_VertexStreams.m_Count; ++i) {
        CPlugVertexStream* stream = GetVertexStream(i);
        if (!(stream->m_ComponentMask & wanted))
            continue;
        if (SPlugVertexBuffer* buffer = stream->GetInterleavedBuffer(position, normal, colour))
            return buffer;
    }
    return nullptr;
}

bool CPlugVisual::HasGeometry() {
    return m_VertexStreams.m_Count > 0 && GetVertexStream(0)->GetVertexCount() != 0;
}

void CPlugVisual::TransformAffine(const Iso4& m) {
    if (!m_Skin)
        return;
    const Iso4 linear(m.R, Vec3());
    for (Iso4& bone : m_Skin->m_Bones) {
        const Vec3 t = bone.t;
        bone.t.SetTransformByIso4(t, linear);
    }
}

void CPlugVisual::SetVertexCount(u32 n) {
    const u32 old = GetVertexCount();
    if (n == old)
        return;
    const u32 keep = std::min(n, old);
    for (TexCoordSet& set : m_TexCoordSets) {
        set.m_Data =
            CopyElements(set.m_Data.get(), std::min(keep, set.m_Count), n, set.ElementBytes());
        set.m_Count = n;
    }
    if (const u32 k = GetSkinIndexCount()) {
        const u32 entryBytes = kPlugSkinEntryBytes[k];
        if (!m_Skin)
            m_Skin = std::make_unique<PlugVisualSkin>();
        const bool same = m_Skin->m_EntryBytes == entryBytes;
        m_Skin->m_Data = CopyElements(same ? m_Skin->m_Data.get() : nullptr,
                                      std::min(keep, m_Skin->m_Count), n, entryBytes);
        m_Skin->m_Count = n;
        m_Skin->m_EntryBytes = entryBytes;
    }
    if (IsGeometryStatic())
        RaisePending(s_PendingLayoutBit);
    const u32 kind = GetVisualKind();
    if ((kind == 2 || kind == 3) && IsIndexationStatic())
        RaisePending(s_PendingIndicesBit);
}

void CPlugVisual::MakeDefaultTexCoords(TexCoordSet& set, u32) {
    const u32 n = GetTexCoordVertexCount();
    set.Allocate(n);
    if (!m_TexCoordSets.empty() && m_TexCoordSets[0].m_Format == set.m_Format) {
        const TexCoordSet& first = m_TexCoordSets[0];
        if (first.m_Data)
            std::memcpy(set.m_Data.get(), first.m_Data.get(),
                        size_t(std::min(n, first.m_Count)) * set.ElementBytes());
        return;
    }
    // Pairs 8 bytes apart whatever the format.
    const u32 d = std::max(2u, u32(std::floor(std::sqrt(f64(n))))) - 1;
    auto* data = set.m_Data.get();
    for (u32 i = 0; i < n; ++i) {
        const f32 uv[2] = {f32(i) / f32(d), n > 1 ? f32(i) / f32(n - 1) : 0.0f};
        std::memcpy(data + size_t(i) * 8, uv, sizeof uv);
    }
}

void CPlugVisual::CopyVertexAttributesFrom(CPlugVisual* source, const u16* remap) {
    if (!source || source == this)
        return;
    const u32 n = source->GetVertexCount();
    ClearTexCoordSets();
    for (const TexCoordSet& from : source->m_TexCoordSets) {
        TexCoordSet set;
        set.m_Format = from.m_Format;
        set.Allocate(n);
        const u32 bytes = set.ElementBytes();
        const u32 have = from.m_Data ? std::min(n, from.m_Count) : 0;
        if (!remap) {
            if (have)
                std::memcpy(set.m_Data.get(), from.m_Data.get(), size_t(have) * bytes);
        } else {
            for (u32 j = 0; j < have; ++j)
                if (remap[j] != 0xFFFF && remap[j] < n)
                    std::memcpy(set.m_Data.get() + size_t(remap[j]) * bytes,
                                from.m_Data.get() + size_t(j) * bytes, bytes);
        }
        m_TexCoordSets.push_back(std::move(set));
    }
    m_Flags = source->m_Flags;
    const u32 k = GetSkinIndexCount();
    if (k == 0 || k > kPlugSkinMaxIndexCount) {
        m_Flags &= ~s_SkinIndexMask;
        m_Skin.reset();
    } else {
        auto skin = std::make_unique<PlugVisualSkin>();
        const u32 entryBytes = kPlugSkinEntryBytes[k];
        skin->Allocate(n, entryBytes);
        const PlugVisualSkin* from = source->m_Skin.get();
        if (from && from->m_Data && from->m_EntryBytes == entryBytes) {
            const u32 have = std::min(n, from->m_Count);
            for (u32 j = 0; j < have; ++j) {
                const u32 to = remap ? remap[j] : j;
                if (to < n)
                    std::memcpy(skin->m_Data.get() + size_t(to) * entryBytes,
                                from->m_Data.get() + size_t(j) * entryBytes, entryBytes);
            }
        }
        if (from)
            skin->m_Bones = from->m_Bones;
        m_Skin = std::move(skin);
    }
    m_BBoxCenter = source->m_BBoxCenter;
    m_BBoxHalfDiag = source->m_BBoxHalfDiag;
    RaisePending(s_PendingLayoutBit);
    if (IsIndexationStatic())
        RaisePending(s_PendingIndicesBit);
}

void CPlugVisual::ReorderVertices(u32 n, const PlugVertexReorder* table) {
    // A source outside the old elements gives a zero element.
    auto gather = [&](const u8* from, u32 fromCount, u32 bytes) {
        std::unique_ptr<u8[]> block(new u8[size_t(n) * bytes + 1]);
        block[size_t(n) * bytes] = 0;
        for (u32 i = 0; i < n; ++i) {
            u8* to = block.get() + size_t(i) * bytes;
            if (from && table[i].m_Source < fromCount)
                std::memcpy(to, from + size_t(table[i].m_Source) * bytes, bytes);
            else
                std::memset(to, 0, bytes);
        }
        return block;
    };
    for (TexCoordSet& set : m_TexCoordSets) {
        set.m_Data = gather(set.m_Data.get(), set.m_Count, set.ElementBytes());
        set.m_Count = n;
    }
    if (GetSkinIndexCount() > 0 && m_Skin) {
        m_Skin->m_Data = gather(m_Skin->m_Data.get(), m_Skin->m_Count, m_Skin->m_EntryBytes);
        m_Skin->m_Count = n;
    }
    RaisePending(s_PendingLayoutBit);
    if (IsIndexationStatic())
        RaisePending(s_PendingIndicesBit);
}

// ---------------------------------------------------------------------------------------------
// Members

u32 CPlugVisual::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (const MwBitField* field = kFlagMembers.Find(member.MemberId))
            return MwAnswerValue(out, MwGetBitField(&m_Flags, *field));
        const PlugFaceCull* cull = m_FaceCull.get();
        switch (member.MemberId) {
            case mVertexCount:
                return MwAnswerValue(out, GetVertexCount());
            case mTexCoordCount:
                return MwAnswerValue(out, u32(m_TexCoordSets.size()));
            case mSubVisualCount:
                return MwAnswerValue(out, u32(m_SubVisuals.size()));
            case mSplitCount:
                return MwAnswerValue(out, u32(m_Splits.size()));
            case mFuncVisual:
                if (path->HasCurrent())
                    return GetFuncVisual() ? GetFuncVisual()->GetParam(path, out)
                                           : u32(MwParam_NotFound);
                out->Value = GetFuncVisual();
                return MwParam_Ok;
            case mFCullFrontTop:
            case mFCullFrontDir:
            case mFCullBackTop:
            case mFCullBackDir:
                if (!cull)
                    return MwParam_NotFound;
                return AnswerStruct(member, path, out,
                                    member.MemberId == mFCullFrontTop   ? cull->m_FrontTop
                                    : member.MemberId == mFCullFrontDir ? cull->m_FrontDir
                                    : member.MemberId == mFCullBackTop  ? cull->m_BackTop
                                                                        : cull->m_BackDir);
            case mFCullFrontCos:
            case mFCullBackCos:
                if (!cull)
                    return MwParam_NotFound;
                return MwAnswerValue(out, member.MemberId == mFCullFrontCos ? cull->m_FrontCos
                                                                            : cull->m_BackCos);
            case mNPatchTessLevel:
                return MwAnswerValue(out, m_NPatchTessLevel);
            default:
                return MwNotOwnMember;
        }
    });
}

u32 CPlugVisual::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (const MwBitField* field = kFlagMembers.Find(member.MemberId)) {
            if (!value)
                return MwParam_NotFound;
            if (MwSetBitField(&m_Flags, *field, ReadU32(value)) && field->Rule)
                RaisePending(field->Rule);
            return MwParam_Ok;
        }
        switch (member.MemberId) {
            case mNPatchTessLevel: {
                if (!value)
                    return MwParam_NotFound;
                f32 level;
                std::memcpy(&level, value, sizeof level);
                if (std::fabs(level - m_NPatchTessLevel) >= 0.00001f) {
                    m_NPatchTessLevel = level;
                    RaisePending(s_PendingGeometryBit);
                }
                return MwParam_Ok;
            }
            case mFuncVisual: {
                if (path->HasCurrent())
                    return GetFuncVisual() ? GetFuncVisual()->SetParam(path, value)
                                           : u32(MwParam_NotFound);
                auto* nod = static_cast<CMwNod*>(const_cast<void*>(value));
                if (nod && !nod->IsKindOf(kFuncVisualClass->m_ClassId))
                    return MwParam_NotFound;
                SetFuncVisual(nod);
                return MwParam_Ok;
            }
            default:
                return MwNotOwnMember;
        }
    });
}

u32 CPlugVisual::AddParamVirtual(CMwMemberPath* path, const void* value) {
    return MwAddParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != mFuncVisual)
            return MwNotOwnMember;
        return path->HasCurrent() && GetFuncVisual() ? GetFuncVisual()->AddParam(path, value)
                                                     : u32(MwParam_NotFound);
    });
}

u32 CPlugVisual::SubParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSubParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != mFuncVisual)
            return MwNotOwnMember;
        return path->HasCurrent() && GetFuncVisual() ? GetFuncVisual()->SubParam(path, value)
                                                     : u32(MwParam_NotFound);
    });
}

// ---------------------------------------------------------------------------------------------
// Chunks

void CPlugVisual::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    switch (chunkId) {
        case 0x09006000:
        case 0x09006002:
            break;
        case 0x09006001:
            m_Id.Archive(archive);
            break;
        case s_FuncVisualChunk: {
            CMwNod* func = GetFuncVisual();
            archive.ArchiveNodRef(func);
            if (archive.m_Writing)
                break;
            if (func)
                Refuse(chunkId, "a function of a class that cannot hold one", func->GetClassId());
            SetFuncVisual(nullptr);
            break;
        }
        case s_SubVisualChunk:
            if (archive.m_Writing) {
                SerializeWord(archive, u32(m_SubVisuals.size()));
                WriteBlock(archive, reinterpret_cast<const u8*>(m_SubVisuals.data()),
                           m_SubVisuals.size() * sizeof(PlugSubVisual),
                           m_SubVisuals.size() * sizeof(PlugSubVisual));
            } else {
                ReadSubVisuals(archive);
            }
            break;
        case 0x09006006:
            SetUseVertexNormal(SerializeBool(archive, UseVertexNormal()) != 0);
            break;
        case 0x09006007: {
            const u32 flag = SerializeBool(archive, m_Skin ? m_Skin->m_Flag : 0);
            if (!archive.m_Writing) {
                if (m_Skin)
                    m_Skin->m_Flag = flag;
                else
                    m_LoadedSkinFlag = flag;
            }
            break;
        }
        case 0x09006009:
            archive.SerializeFloats(&m_NPatchTessLevel, 1);
            break;
        case s_GeometryChunk:
        case s_OldGeometryChunk:
        case s_OlderGeometryChunk:
            if (archive.m_Writing)
                WriteGeometry(archive);
            else
                ReadGeometry(archive, chunkId);
            break;
        case s_SplitChunk:
            if (archive.m_Writing) {
                SerializeWord(archive, u32(m_Splits.size()));
                for (PlugVisualSplit& split : m_Splits) {
                    archive.SerializeUInts(&split.m_First, 1);
                    archive.SerializeUInts(&split.m_Count, 1);
                    archive.SerializeFloats(split.m_Box, 6);
                }
            } else {
                ReadSplits(archive);
            }
            break;
        default:
            Super::ArchiveChunk(archive, chunkId);
    }
}

void CPlugVisual::ReadSubVisuals(CClassicArchive& archive) {
    const u32 count = SerializeWord(archive, 0);
    CheckCount(archive, s_SubVisualChunk, "more sub-visuals than the bytes left", count,
               sizeof(PlugSubVisual), true);
    std::vector<PlugSubVisual> read(count);
    if (count)
        archive.ReadRaw(read.data(), u32(count * sizeof(PlugSubVisual)));
    m_SubVisuals = std::move(read);
}

void CPlugVisual::ReadSplits(CClassicArchive& archive) {
    const u32 count = SerializeWord(archive, 0);
    CheckCount(archive, s_SplitChunk, "more splits than the bytes left", count,
               LeastValueBytes(archive, 8), false);
    if (count == 0)
        return;
    std::vector<PlugVisualSplit> read(count);
    for (PlugVisualSplit& split : read) {
        archive.ReadUInts(&split.m_First, 1);
        archive.ReadUInts(&split.m_Count, 1);
        archive.ReadFloats(split.m_Box, 6);
    }
    m_Splits = std::move(read);
}

void CPlugVisual::WriteGeometry(CClassicArchive& archive) {
    if (m_FuncVisual && m_FuncVisual->m_Source && m_FuncVisual->m_Source != this &&
        m_FuncVisual->m_Source->GetClassId() == GetClassId())
        CopyVertexAttributesFrom(m_FuncVisual->m_Source, nullptr);
    const u32 k = GetSkinIndexCount();
    const u32 n = GetVertexCount();
    u32 header[5] = {u32(IsGeometryStatic()), u32(IsIndexationStatic()), u32(m_TexCoordSets.size()),
                     k, n};
    archive.WriteBools(header, 2);
    archive.WriteUInts(header + 2, 3);
    u32 streamCount = m_VertexStreams.m_Count;
    archive.WriteUInts(&streamCount, 1);
    for (u32 i = 0; i < streamCount; ++i) {
        CMwNod* stream = m_VertexStreams[i];
        archive.ArchiveNodRef(stream);
    }
    for (const TexCoordSet& set : m_TexCoordSets) {
        archive.WriteUInts(&set.m_Format, 1);
        const u64 bytes = set.ElementBytes();
        WriteBlock(archive, set.m_Data.get(), set.m_Data ? set.m_Count * bytes : 0, n * bytes);
    }
    const PlugVisualSkin* skin = m_Skin.get();
    if (k > 0) {
        const u64 entryBytes = kPlugSkinEntryBytes[k];
        const bool usable = skin && skin->m_Data && skin->m_EntryBytes == entryBytes;
        WriteBlock(archive, usable ? skin->m_Data.get() : nullptr,
                   usable ? skin->m_Count * entryBytes : 0, n * entryBytes);
    }
    const u32 color = UseVertexColor();
    archive.WriteBools(&color, 1);
    const u32 bones = k > 0 && skin ? u32(skin->m_Bones.size()) : 0;
    archive.WriteUInts(&bones, 1);
    if (bones)
        archive.WriteRaw(skin->m_Bones.data(), bones * u32(sizeof(Iso4)));
}

void CPlugVisual::ReadGeometry(CClassicArchive& archive, u32 chunkId) {
    u32 header[5];
    archive.ReadBools(header, 2);
    archive.ReadUInts(header + 2, 3);
    const u32 t = header[2], k = header[3], n = header[4];
    if (t > kPlugVisualMaxTexCoordSets)
        Refuse(chunkId, "more texture-coordinate sets than a visual holds", t);
    if (k > kPlugSkinMaxIndexCount)
        Refuse(chunkId, "a bone-index count without an entry size", k);
    const u64 entryBytes = kPlugSkinEntryBytes[k];

    // The streams, read before anything of the visual changes.
    std::vector<CMwNodRef> streams;
    if (chunkId == s_GeometryChunk) {
        const u32 s = SerializeWord(archive, 0);
        CheckCount(archive, chunkId, "more streams than the bytes left", s,
                   LeastValueBytes(archive, 1), false);
        streams.reserve(s);
        for (u32 i = 0; i < s; ++i) {
            CMwNod* nod = nullptr;
            archive.ArchiveHeldNodRef(nod);
            if (nod && !nod->IsKindOf(CPlugVertexStream::s_ClassId))
                Refuse(chunkId, "a stream that is not a vertex stream", nod->GetClassId());
            if (nod)
                streams.emplace_back(nod);
        }
    }
    // The least the sets and the skin take.
    CheckCount(archive, chunkId, "more vertices than the bytes left", n, 8 * t + entryBytes, false);

    // The header applies before the rest is read.
    const u32 statics =
        (header[0] ? s_GeometryStaticBit : 0) | (header[1] ? s_IndexationStaticBit : 0);
    const u32 before = m_Flags;
    m_Flags = (m_Flags & ~(s_GeometryStaticBit | s_IndexationStaticBit)) | statics;
    if (m_Flags != before)
        SetGeometryDirty(true);
    m_Flags = (m_Flags & ~s_SkinIndexMask) | k;
    // The sets are cut to T before the vertex count changes, so that the resize never grows a
    // set that the bytes left were not checked for.
    m_TexCoordSets.resize(t);
    const bool hadSkin = m_Skin != nullptr;
    SetVertexCount(n);
    if (k > 0) {
        EnsureSkinBlock(n);
        if (!hadSkin)
            m_Skin->m_Flag = m_LoadedSkinFlag;
    } else {
        m_Skin.reset();
    }
    ReleaseStreams();
    for (CMwNodRef& stream : streams)
        AddVertexStream(static_cast<CPlugVertexStream*>(stream.Get()));

    for (TexCoordSet& set : m_TexCoordSets) {
        set.m_Format = chunkId == s_OldGeometryChunk ? 0 : SerializeWord(archive, 0);
        if (set.m_Format > 2)
            Refuse(chunkId, "a texture-coordinate set of an unknown format", set.m_Format);
        CheckCount(archive, chunkId, "a texture-coordinate set past the bytes left", n,
                   set.ElementBytes(), true);
        set.Allocate(n);
        archive.ReadRaw(set.m_Data.get(), u32(u64(n) * set.ElementBytes()));
    }
    if (k > 0) {
        CheckCount(archive, chunkId, "skin entries past the bytes left", n, entryBytes, true);
        archive.ReadRaw(m_Skin->m_Data.get(), u32(n * entryBytes));
    }
    // The colour switch is stored without raising anything.
    if (SerializeBool(archive, 0))
        m_Flags |= s_VertexColorBit;
    else
        m_Flags &= ~s_VertexColorBit;
    const u32 bones = SerializeWord(archive, 0);
    CheckCount(archive, chunkId, "more bones than the bytes left", bones, sizeof(Iso4), true);
    if (k == 0) {
        archive.SkipRaw(u32(bones * sizeof(Iso4)));
        return;
    }
    std::vector<Iso4> read(bones);
    if (bones)
        archive.ReadRaw(read.data(), u32(bones * sizeof(Iso4)));
    m_Skin->m_Bones = std::move(read);
}
