#include "tests/script/support/ScriptFixtureWriter.h"

#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicString.h"

#include <iterator>

namespace {

constexpr u32 kEndMarker = 0xFACADE01;
constexpr u32 kNoNod = 0xFFFFFFFF;

std::string BytesOf(const CClassicArchive& archive) {
    const auto* memory = static_cast<const CClassicBufferMemory*>(archive.GetBuffer());
    return std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize());
}

} // namespace

CScriptFixtureWriter::CScriptFixtureWriter(bool text) {
    m_Archive.SetBuffer(new CClassicBufferMemory);
    m_Archive.m_Writing = 1;
    m_Archive.m_Text = text ? 1 : 0;
}

CScriptFixtureWriter::~CScriptFixtureWriter() = default;

CScriptFixtureWriter& CScriptFixtureWriter::Chunk(u32 chunkId) {
    return Hex(chunkId);
}

CScriptFixtureWriter& CScriptFixtureWriter::End() {
    return Hex(kEndMarker);
}

CScriptFixtureWriter& CScriptFixtureWriter::U32(u32 value) {
    m_Archive.WriteUInts(&value, 1);
    return *this;
}

CScriptFixtureWriter& CScriptFixtureWriter::Int(i32 value) {
    m_Archive.WriteInts(&value, 1);
    return *this;
}

CScriptFixtureWriter& CScriptFixtureWriter::Float(f32 value) {
    m_Archive.WriteFloats(&value, 1);
    return *this;
}

CScriptFixtureWriter& CScriptFixtureWriter::Hex(u32 value) {
    m_Archive.WriteUIntsHex(&value, 1);
    return *this;
}

CScriptFixtureWriter& CScriptFixtureWriter::Bool(u32 value) {
    m_Archive.WriteBools(&value, 1);
    return *this;
}

CScriptFixtureWriter& CScriptFixtureWriter::String(const std::string& text) {
    const CClassicString value(CClassicStringRef(text.data(), u32(text.size())));
    m_Archive.WriteStrings(&value, 1);
    return *this;
}

CScriptFixtureWriter& CScriptFixtureWriter::NullRef() {
    return U32(kNoNod);
}

CScriptFixtureWriter& CScriptFixtureWriter::Ref(u32 index) {
    return U32(index);
}

CScriptFixtureWriter& CScriptFixtureWriter::NewNod(u32 classId, u32* index) {
    if (index)
        *index = m_NodeCount;
    U32(m_NodeCount++);
    return Hex(classId);
}

CScriptFixtureWriter& CScriptFixtureWriter::Variable(const std::string& name, u32 flag, u32 type,
                                                     u32 id) {
    String(name).Bool(flag).U32(type);
    if (type == 4 || type == 5)
        Hex(id);
    return *this;
}

CScriptFixtureWriter& CScriptFixtureWriter::Path(std::initializer_list<SPathItem> items) {
    U32(u32(items.size()));
    for (auto item = std::rbegin(items); item != std::rend(items); ++item)
        U32(item->Kind);
    for (auto item = std::rbegin(items); item != std::rend(items); ++item)
        U32(item->Value);
    return *this;
}

std::string CScriptFixtureWriter::Body() const {
    return BytesOf(m_Archive);
}

std::string CScriptFixtureWriter::Image(u32 mainClassId, bool release) const {
    CClassicArchive head;
    head.SetBuffer(new CClassicBufferMemory);
    head.m_Writing = 1;
    const u8 letters[9] = {
        'Z', 'U', 'N', 6, 0, u8(IsText() ? 'T' : 'B'), 'U', 'U', u8(release ? 'R' : 'E')};
    head.WriteRaw(letters, sizeof letters);
    head.m_Text = m_Archive.m_Text;
    const u32 values[3] = {0, m_NodeCount, 0}; // header-chunk blob size, node count, references
    head.WriteUIntsHex(&mainClassId, 1);
    head.WriteUInts(values, 3);
    return BytesOf(head) + Body();
}
