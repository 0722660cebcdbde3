// Fuzzes the TGA reader: the input is a file read through CPlugFileTga::ReadFromStream over a
// memory stream. A picture that reads is written back and read again, which must give the
// same image (the writer's header describes exactly what it writes). The image limit is 64 MB.
#include "FuzzReader.h"
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"
#include "plug/bitmap/PlugFileTga.h"

#include <cstdlib>
#include <cstring>

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
        FUZZ_CHECK(!image.IsLoaded());
        return 0;
    }
    const u32 nbComp = image.GetNbComp();
    FUZZ_CHECK(image.m_Pixels && image.m_ByteSize == u64(image.m_Width) * image.m_Height * nbComp);
    if (nbComp < 3)
        return 0;
    CClassicBufferMemory written;
    FUZZ_CHECK(image.WriteToStream(written) == 1);
    written.Rewind();
    CPlugFileTga again;
    FUZZ_CHECK(again.ReadFromStream(written) == 1);
    FUZZ_CHECK(again.m_ByteSize == image.m_ByteSize &&
               std::memcmp(again.m_Pixels, image.m_Pixels, image.m_ByteSize) == 0);
    return 0;
}
