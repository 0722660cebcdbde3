// Fuzzes the TGA reader: the input is a file read through CPlugFileTga::ReadFromStream over a
// memory stream. A picture that reads is written back and read again, which must give the
// same image (the writer's header describes exactly what it writes). The image limit is 64 MB.
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"
#include "plug/bitmap/PlugFileTga.h"

#include <cstdlib>
#include <cstring>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The log would keep every line of every run.
    g_ClassicLog.m_SuspendCount = 1;
    CPlugFileImg::SetImageLimit(u64(64) << 20);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    CClassicBufferMemory stream;
    if (size && stream.Write(data, u32(size)) != size)
        return 0;
    stream.Rewind();
    CPlugFileTga image;
    if (image.ReadFromStream(stream) == 0) {
        Check(!image.IsLoaded());
        return 0;
    }
    const u32 nbComp = image.GetNbComp();
    Check(image.m_Pixels && image.m_ByteSize == u64(image.m_Width) * image.m_Height * nbComp);
    if (nbComp < 3)
        return 0;
    CClassicBufferMemory written;
    Check(image.WriteToStream(written) == 1);
    written.Rewind();
    CPlugFileTga again;
    Check(again.ReadFromStream(written) == 1);
    Check(again.m_ByteSize == image.m_ByteSize &&
          std::memcmp(again.m_Pixels, image.m_Pixels, image.m_ByteSize) == 0);
    return 0;
}
