// Engine code that logs from a static initialiser of a file that does not include the log's
// header: the line must arrive. The file comes first in the test program's sources, so its
// initialisers run before those of every file that includes the header.
#include "core/base/ClassicBuffer.h"

namespace {

// Reads a damaged LZO block while the static objects are built: sizes that pass the checks over
// bytes that do not decompress, so the read fails with a log line.
struct CDamagedBlockAtStart {
    CDamagedBlockAtStart() {
        const u8 block[] = {16,   0,    0,    0,    8,    0,    0,    0,
                            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        CClassicBufferMemory stream;
        stream.Write(block, sizeof block);
        stream.SetPosition(0);
        m_Refused = stream.ReadLzoBlock() == nullptr;
    }
    bool m_Refused;
};
const CDamagedBlockAtStart s_DamagedBlockAtStart;

} // namespace

bool DamagedBlockAtStartRefused() {
    return s_DamagedBlockAtStart.m_Refused;
}
