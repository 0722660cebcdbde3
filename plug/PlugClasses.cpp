#include "plug/PlugClasses.h"

#include "plug/bitmap/PlugFile.h"
#include "plug/bitmap/PlugFileImg.h"
<<<<<<< HEAD
#include "plug/visual/PlugIndexBuffer.h"
#include "plug/visual/PlugVertexStream.h"
=======
#include "plug/bitmap/PlugFileJpg.h"
#include "plug/bitmap/PlugFileTga.h"
#include "plug/bitmap/PlugFileZip.h"
>>>>>>> main

namespace {

constinit CMwClassInfo* const s_PlugClasses[] = {
    &CPlug::s_ClassInfo,
    &CPlugFile::s_ClassInfo,
    &CPlugFileImg::s_ClassInfo,
<<<<<<< HEAD
    &CPlugVertexStream::s_ClassInfo,
    &CPlugIndexBuffer::s_ClassInfo,
=======
    &CPlugFileJpg::s_ClassInfo,
    &CPlugFileTga::s_ClassInfo,
    &CPlugFileZip::s_ClassInfo,
    &CPlugFileZipInfo::s_ClassInfo,
>>>>>>> main
};

} // namespace

constinit const CMwClassList g_PlugClassList = {s_PlugClasses,
                                                sizeof(s_PlugClasses) / sizeof(s_PlugClasses[0])};
