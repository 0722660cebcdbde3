#pragma once
// Writes script archives value by value, from the stored layouts rather than from the classes:
// the fixtures of chunks that nothing writes (read-only chunks, older layouts), damaged data, and
// the reference bytes the classes' own writers are compared with.
//
// A body is a stream of chunks: the chunk id (u32, hexadecimal in text), its values, and after
// the last chunk the end marker 0xFACADE01. A nod reference is a u32 node index (0xFFFFFFFF for
// none); the first occurrence of a nod is followed by its class id (u32 hexadecimal) and its own
// body. Index 0 is the main nod, whose body is the archive's body. The image adds the archive
// header (version 6, the encoding letter, 'U' twice, 'R' or 'E', the main class id, an empty
// header-chunk blob, the node count) and an empty reference table.
#include "core/base/ClassicArchive.h"
#include "platform/Types.h"

#include <initializer_list>
#include <memory>
#include <string>

class CScriptFixtureWriter {
public:
    explicit CScriptFixtureWriter(bool text);
    ~CScriptFixtureWriter();
    CScriptFixtureWriter(const CScriptFixtureWriter&) = delete;
    CScriptFixtureWriter& operator=(const CScriptFixtureWriter&) = delete;

    CScriptFixtureWriter& Chunk(u32 chunkId);
    CScriptFixtureWriter& End();
    CScriptFixtureWriter& U32(u32 value);
    CScriptFixtureWriter& Int(i32 value);
    CScriptFixtureWriter& Float(f32 value);
    CScriptFixtureWriter& Hex(u32 value);
    CScriptFixtureWriter& Bool(u32 value);
    CScriptFixtureWriter& String(const std::string& text);
    // References: none, a nod written before, or a new nod of the class, whose body follows (its
    // chunks, then End). NewNod gives the index it took.
    CScriptFixtureWriter& NullRef();
    CScriptFixtureWriter& Ref(u32 index);
    CScriptFixtureWriter& NewNod(u32 classId, u32* index = nullptr);
    // The record of a variable inside block bodies: name, flag, type, and for Class (4) and Enum
    // (5) the id in hexadecimal.
    CScriptFixtureWriter& Variable(const std::string& name, u32 flag, u32 type, u32 id = 0);
    // A member path in its stored form, its items given from the first to the last: member items
    // (kind 0) by member id, index items (1) by value; the count, the kinds, then the values, all
    // from the last item to the first, as paths keep them.
    struct SPathItem {
        u32 Kind;
        u32 Value;
    };
    CScriptFixtureWriter& Path(std::initializer_list<SPathItem> items);

    bool IsText() const { return m_Archive.m_Text != 0; }
    // The values written so far.
    std::string Body() const;
    // The whole archive image with the body written so far.
    std::string Image(u32 mainClassId, bool release) const;

private:
    CClassicArchive m_Archive;
    u32 m_NodeCount = 1;
};
