#pragma once
// The chunks a saved light holds, in order, each with the size of its binary contents: the
// expectation of the light tests and the layout the light fuzz target's seed writer edits.
#include "platform/Types.h"

#include <utility>
#include <vector>

using LightChunkList = std::vector<std::pair<u32, u32>>;

// The list of a light of the class (GxLight, GxLightNotAmbient, point, ball, projector, spot).
inline LightChunkList SavedLightChunks(u32 classId) {
    LightChunkList list = {{0x04001008, 40}};
    if (classId == 0x04001000 || classId == 0x04006000)
        return list;
    list.push_back({0x04003004, 8});
    if (classId == 0x04003000)
        return list;
    list.push_back({0x04002006, 44});
    if (classId == 0x0400A000)
        list.push_back({0x0400A006, 32});
    if (classId == 0x0400B000) {
        list.push_back({0x0400B001, 16});
        list.push_back({0x0400B002, 28});
    }
    return list;
}
