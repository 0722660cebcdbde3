#include "script/block/BlockVariable.h"

#include "core/base/ClassicArchive.h"
#include "script/base/ScriptArchive.h"

#include <cstring>

#define CBLOCKVARIABLE_CHUNKS(X) X(0x01080000, 3)

MW_DEFINE_CLASS(CBlockVariable, MwFactory<CBlockVariable>, MW_NO_MEMBERS, CBLOCKVARIABLE_CHUNKS);

namespace {

bool HoldsObject(u32 type) {
    return type == BlockVariable_String || type == BlockVariable_Vec2 ||
           type == BlockVariable_Vec3 || type == BlockVariable_Iso4;
}

} // namespace

CBlockVariable::~CBlockVariable() {
    SetNod(nullptr);
    FreeObject();
}

void CBlockVariable::Assign(const CBlockVariable& other) {
    if (&other == this)
        return;
    m_Name.Assign(other.m_Name);
    m_Assigned = other.m_Assigned;
    m_Flag = other.m_Flag;
    m_Type = other.m_Type;
    if (m_Type == BlockVariable_Unset)
        return;
    m_Id = other.m_Id;
    if (m_Type != BlockVariable_Class)
        SetNod(nullptr);
    if (!HoldsObject(m_Type))
        FreeObject();
    switch (m_Type) {
        case BlockVariable_Class:
            SetNod(other.m_Nod);
            break;
        case BlockVariable_String:
        case BlockVariable_Vec2:
        case BlockVariable_Vec3:
        case BlockVariable_Iso4:
            if (!other.m_Object) {
                FreeObject();
                break;
            }
            if (m_Type == BlockVariable_String)
                MakeObject().m_String.Assign(other.m_Object->m_String);
            else
                std::memcpy(MakeObject().m_Floats, other.m_Object->m_Floats,
                            sizeof other.m_Object->m_Floats);
            break;
        default:
            m_Word = other.m_Word;
            break;
    }
}

void CBlockVariable::GetValue(void* destination) const {
    switch (m_Type) {
        case BlockVariable_Bool:
        case BlockVariable_Int:
        case BlockVariable_Float:
        case BlockVariable_Enum:
            std::memcpy(destination, &m_Word, sizeof m_Word);
            break;
        case BlockVariable_Class:
            std::memcpy(destination, &m_Nod, sizeof m_Nod);
            break;
        case BlockVariable_String: {
            auto* text = static_cast<CClassicString*>(destination);
            if (m_Object)
                text->Assign(m_Object->m_String);
            else
                text->SetLength(0);
            break;
        }
        case BlockVariable_Vec2:
        case BlockVariable_Vec3:
        case BlockVariable_Iso4: {
            const u32 size = BlockVariableFloatCount(m_Type) * sizeof(f32);
            if (m_Object)
                std::memcpy(destination, m_Object->m_Floats, size);
            else
                std::memset(destination, 0, size);
            break;
        }
        default:
            break;
    }
}

void CBlockVariable::SetNod(CMwNod* nod) {
    if (nod == m_Nod)
        return;
    if (m_Nod)
        m_Nod->RemoveDependant(this);
    m_Nod = nod;
    if (m_Nod)
        m_Nod->AddDependant(this);
}

void CBlockVariable::ClearValue() {
    SetNod(nullptr);
    FreeObject();
    m_Word = 0;
}

void CBlockVariable::OnDependencyDestroyed(CMwNod* nod) {
    // The nod is clearing its list of dependants: only the pointer goes.
    if (nod == m_Nod)
        m_Nod = nullptr;
    Super::OnDependencyDestroyed(nod);
}

void CBlockVariable::OnDependencyReleased(CMwNod* nod) {
    // Forgotten first: leaving the nod's dependants may delete it.
    if (nod == m_Nod)
        m_Nod = nullptr;
    Super::OnDependencyReleased(nod);
}

CBlockVariable::SValueObject& CBlockVariable::MakeObject() {
    if (!m_Object)
        m_Object = new SValueObject;
    return *m_Object;
}

void CBlockVariable::FreeObject() {
    delete m_Object;
    m_Object = nullptr;
}

void CBlockVariable::ArchiveHead(CClassicArchive& archive, CMwNod* owner, u32 chunkId) {
    archive.SerializeStrings(&m_Name, 1);
    archive.SerializeBools(&m_Flag, 1);
    archive.SerializeUInts(&m_Type, 1);
    if (!archive.m_Writing && m_Type > BlockVariable_Unset)
        ScriptInvalidData(owner, chunkId);
}

void CBlockVariable::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId != s_Chunk) {
        Super::ArchiveChunk(archive, chunkId);
        return;
    }
    ArchiveHead(archive, this, chunkId);
}

void CBlockVariable::ArchiveRecord(CClassicArchive& archive, CMwNod* owner, u32 chunkId) {
    if (!archive.m_Writing) {
        ClearValue();
        m_Assigned = 0;
        m_Id = 0;
    }
    ArchiveHead(archive, owner, chunkId);
    if (m_Type == BlockVariable_Class || m_Type == BlockVariable_Enum)
        archive.SerializeUIntsHex(&m_Id, 1);
}

void CBlockVariable::ReadFloats(void* out, u32 count) const {
    if (m_Object)
        std::memcpy(out, m_Object->m_Floats, count * sizeof(f32));
    else
        std::memset(out, 0, count * sizeof(f32));
}

void CBlockVariable::WriteFloats(const void* in, u32 count) {
    std::memcpy(MakeFloats(), in, count * sizeof(f32));
}
