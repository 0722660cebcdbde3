#include "plug/bitmap/PlugBitmapShader.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwMemberPath.h"
#include "core/nod/MwParam.h"
#include "core/nod/MwVirtualMember.h"
#include "plug/bitmap/PlugBitmap.h"
#include "plug/bitmap/PlugFileImg.h"
#include "plug/shader/PlugShader.h"

namespace {

constexpr u32 kShader = 0x09080000;
constexpr u32 kBitmapToSwap = 0x09080001;
constexpr u32 kExtraRTs = 0x09080002;

// Takes a reference on the new nod, then gives the old one's back.
template <class T>
void Exchange(T*& slot, T* nod) {
    if (nod)
        nod->AddRef();
    T* old = slot;
    slot = nod;
    if (old)
        old->Release();
}

// A nod read from a body must be of the class its place holds.
CMwNod* Checked(CMwNod* nod, u32 classId, const char* what) {
    if (nod && !nod->IsKindOf(classId)) {
        ClassicLogFormatLine("CPlugBitmapShader: %s read is a nod of class 0x%08X, not 0x%08X",
                             what, nod->GetClassId(), classId);
        throw CClassicBufferException(kClassicBufferErrorBadData, u"Bad shader payload");
    }
    return nod;
}

CMwNod* ReadHeld(CClassicArchive& archive, u32 classId, const char* what) {
    CMwNod* nod = nullptr;
    archive.ArchiveHeldNodRef(nod);
    return Checked(nod, classId, what);
}

void WriteRef(CClassicArchive& archive, CMwNod* nod) {
    archive.ArchiveNodRef(nod);
}

} // namespace

#define CPLUGBITMAPSHADER_MEMBERS(X)                                                               \
    X(Class, 0x09080000, "Shader", MW_VIRTUAL("m_Shader"), "Shader", 0xF3, 0x3FA0,                 \
      &CPlugShader::s_ClassInfo, 1)                                                                \
    X(Class, 0x09080001, "BitmapToSwap", MW_VIRTUAL("m_BitmapToSwap"), "BitmapSwap", 0xF3, 0x3FA0, \
      &CPlugBitmap::s_ClassInfo, 1)                                                                \
    X(Array, 0x09080002, "ExtraRTs", MW_VIRTUAL("m_ExtraRTs"), "ExtraRTs", 0x33, 0x3F82,           \
      MwType_Class, 0x3, "ExtraRT", &CPlugBitmap::s_ClassInfo)
#define CPLUGBITMAPSHADER_CHUNKS(X) X(0x09080000, 1) X(0x09080001, 3)

MW_DEFINE_CLASS(CPlugBitmapShader, MwFactory<CPlugBitmapShader>, CPLUGBITMAPSHADER_MEMBERS,
                CPLUGBITMAPSHADER_CHUNKS);

CPlugBitmapShader::~CPlugBitmapShader() {
    ResizeExtraRTs(0);
    Exchange(m_BitmapToSwap, static_cast<CPlugBitmap*>(nullptr));
    Exchange(m_Shader, static_cast<CPlugShader*>(nullptr));
}

void CPlugBitmapShader::SetContainer(CPlugBitmap* bitmap) {
    m_Container = bitmap;
    LinkSwapPartners();
}

void CPlugBitmapShader::ResizeExtraRTs(u32 count) {
    const u32 before = m_ExtraRTs.m_Count;
    if (count < before) {
        // The entries leave the list before their references go.
        CFastArray<CMwNod*> gone;
        gone.SetCount(before - count);
        for (u32 i = count; i < before; ++i)
            gone[i - count] = m_ExtraRTs[i];
        m_ExtraRTs.SetCount(count);
        for (u32 i = 0; i < gone.m_Count; ++i)
            if (gone[i])
                gone[i]->Release();
        return;
    }
    m_ExtraRTs.SetCount(count);
    for (u32 i = before; i < count; ++i)
        m_ExtraRTs[i] = nullptr;
}

void CPlugBitmapShader::SetShader(CPlugShader* shader) {
    Exchange(m_Shader, shader);
    ResizeExtraRTs(m_Shader ? CPlugShader::GetColorOutputCount(m_Shader) - 1 : 0);
}

bool CPlugBitmapShader::IsCompatible(CPlugBitmap* bitmap) const {
    // Both images are compared: a side without one (or the bitmap itself) is not compatible.
    if (!m_Container || bitmap == m_Container)
        return false;
    const CPlugFileImg* mine = m_Container->GetImage();
    const CPlugFileImg* other = bitmap->GetImage();
    return mine && other && mine->m_Width == other->m_Width && mine->m_Height == other->m_Height &&
           mine->GetNbComp() == other->GetNbComp() &&
           m_Container->GetUsage() == bitmap->GetUsage() &&
           m_Container->GetWantedColorDepth() == bitmap->GetWantedColorDepth();
}

bool CPlugBitmapShader::SetBitmapToSwap(CPlugBitmap* bitmap) {
    if (bitmap && !IsCompatible(bitmap)) {
        ClassicLogFormatLine("BitmapToSwap must be \"compatible\" with container bitmap");
        return false;
    }
    Exchange(m_BitmapToSwap, bitmap);
    if (m_Container)
        m_Container->SetSwapPartner(bitmap, true);
    if (bitmap)
        bitmap->SetSwapPartner(m_Container, true);
    return true;
}

void CPlugBitmapShader::SetExtraRT(u32 index, CPlugBitmap* bitmap) {
    if (index >= m_ExtraRTs.m_Count || !bitmap)
        return;
    Exchange<CMwNod>(m_ExtraRTs[index], bitmap);
}

void CPlugBitmapShader::LinkSwapPartners() {
    if (!m_Container || !m_BitmapToSwap || m_Container == m_BitmapToSwap)
        return;
    m_Container->SetSwapPartner(m_BitmapToSwap, true);
    m_BitmapToSwap->SetSwapPartner(m_Container, true);
}

void CPlugBitmapShader::OnAfterLoad() {
    LinkSwapPartners();
    Super::OnAfterLoad();
}

u32 CPlugBitmapShader::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        CMwNod* nod = nullptr;
        switch (member.MemberId) {
            case kShader:
                nod = m_Shader;
                break;
            case kBitmapToSwap:
                nod = m_BitmapToSwap;
                break;
            case kExtraRTs:
                return member.Param->Get(&m_ExtraRTs, path, out);
            default:
                return MwNotOwnMember;
        }
        if (path->HasCurrent())
            return nod ? nod->GetParam(path, out) : u32(MwParam_NotFound);
        out->Value = nod;
        return MwParam_Ok;
    });
}

u32 CPlugBitmapShader::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        CMwNod* held = nullptr;
        switch (member.MemberId) {
            case kShader:
                held = m_Shader;
                break;
            case kBitmapToSwap:
                held = m_BitmapToSwap;
                break;
            case kExtraRTs: {
                u32 index = 0;
                if (!path->TakeIndex(&index) || index >= m_ExtraRTs.m_Count)
                    return MwParam_NotFound;
                held = m_ExtraRTs[index];
                if (path->HasCurrent())
                    break;
                auto* nod = static_cast<CMwNod*>(const_cast<void*>(value));
                if (!nod || !nod->IsKindOf(CPlugBitmap::s_ClassId))
                    return MwParam_NotFound;
                SetExtraRT(index, static_cast<CPlugBitmap*>(nod));
                return MwParam_Ok;
            }
            default:
                return MwNotOwnMember;
        }
        // A path that goes on is the nod's.
        if (path->HasCurrent())
            return held ? held->SetParam(path, value) : u32(MwParam_NotFound);
        auto* nod = static_cast<CMwNod*>(const_cast<void*>(value));
        if (member.MemberId == kShader) {
            if (!nod || !nod->IsKindOf(CPlugShader::s_ClassId))
                return MwParam_NotFound;
            SetShader(static_cast<CPlugShader*>(nod));
            return MwParam_Ok;
        }
        if (nod && !nod->IsKindOf(CPlugBitmap::s_ClassId))
            return MwParam_NotFound;
        return SetBitmapToSwap(static_cast<CPlugBitmap*>(nod)) ? MwParam_Ok : MwParam_NotFound;
    });
}

void CPlugBitmapShader::ArchiveShaderAndTargets(CClassicArchive& archive) {
    if (archive.m_Writing) {
        // The list takes the shader's size first.
        SetShader(m_Shader);
        WriteRef(archive, m_Shader);
        u32 count = m_ExtraRTs.m_Count;
        archive.WriteUInts(&count, 1);
        for (u32 i = 0; i < count; ++i)
            WriteRef(archive, m_ExtraRTs[i]);
        return;
    }
    SetShader(static_cast<CPlugShader*>(ReadHeld(archive, CPlugShader::s_ClassId, "shader")));
    u32 count = 0;
    archive.ReadUInts(&count, 1);
    archive.CheckReadSize(count, s_MaxExtraRTs);
    // The entries are gathered apart, so that a stream that ends inside them leaves the list as
    // it was.
    CFastArray<CMwNod*> read;
    read.SetCount(count);
    for (u32 i = 0; i < count; ++i)
        read[i] = ReadHeld(archive, CPlugBitmap::s_ClassId, "extra render target");
    for (u32 i = 0; i < count; ++i)
        if (read[i])
            read[i]->AddRef();
    ResizeExtraRTs(0);
    m_ExtraRTs.SetCount(count);
    for (u32 i = 0; i < count; ++i)
        m_ExtraRTs[i] = read[i];
}

void CPlugBitmapShader::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    switch (chunkId) {
        case 0x09080000:
        case 0x09080001:
            ArchiveShaderAndTargets(archive);
            if (chunkId == 0x09080000)
                break;
            if (archive.m_Writing)
                WriteRef(archive, m_BitmapToSwap);
            else
                Exchange(m_BitmapToSwap, static_cast<CPlugBitmap*>(ReadHeld(
                                             archive, CPlugBitmap::s_ClassId, "BitmapToSwap")));
            break;
        default:
            Super::ArchiveChunk(archive, chunkId);
    }
}
