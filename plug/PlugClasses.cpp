#include "plug/PlugClasses.h"

#include "plug/bitmap/PlugBitmap.h"
#include "plug/bitmap/PlugBitmapRender.h"
#include "plug/bitmap/PlugBitmapShader.h"
#include "plug/bitmap/PlugFile.h"
#include "plug/bitmap/PlugFileImg.h"
#include "plug/bitmap/PlugFileJpg.h"
#include "plug/bitmap/PlugFileTga.h"
#include "plug/bitmap/PlugFileVideo.h"
#include "plug/bitmap/PlugFileZip.h"
#include "plug/gpu/PlugFileGPU.h"
#include "plug/gpu/PlugFileText.h"
#include "plug/shader/PlugBitmapRenderCamera.h"
#include "plug/shader/PlugShader.h"
#include "plug/visual/GxLight.h"
#include "plug/visual/PlugIndexBuffer.h"
#include "plug/visual/PlugVertexStream.h"
#include "plug/visual/PlugVisual.h"

namespace {

constinit CMwClassInfo* const s_PlugClasses[] = {
    &CPlug::s_ClassInfo,
    &CPlugFile::s_ClassInfo,
    &CPlugFileImg::s_ClassInfo,
    &CPlugFileJpg::s_ClassInfo,
    &CPlugFileTga::s_ClassInfo,
    &CPlugFileZip::s_ClassInfo,
    &CPlugFileZipInfo::s_ClassInfo,
    &CPlugVertexStream::s_ClassInfo,
    &CPlugIndexBuffer::s_ClassInfo,
    &CPlugBitmap::s_ClassInfo,
    &CPlugFileVideo::s_ClassInfo,
    &CPlugFileText::s_ClassInfo,
    &CPlugFileGPU::s_ClassInfo,
    &CPlugFileGPUV::s_ClassInfo,
    &CPlugFileGPUP::s_ClassInfo,
    &CPlugVisual::s_ClassInfo,
    &CPlugShader::s_ClassInfo,
    &CPlugShaderGeneric::s_ClassInfo,
    &CPlugShaderApply::s_ClassInfo,
    &CPlugBitmapShader::s_ClassInfo,
    &CPlugBitmapRender::s_ClassInfo,
    &CPlugBitmapRenderWater::s_ClassInfo,
    &CPlugBitmapRenderCubeMap::s_ClassInfo,
    &CPlugBitmapRenderCamera::s_ClassInfo,
    &GxLight::s_ClassInfo,
    &GxLightNotAmbient::s_ClassInfo,
    &GxLightPoint::s_ClassInfo,
    &GxLightBall::s_ClassInfo,
    &GxLightFrustrum::s_ClassInfo,
    &GxLightSpot::s_ClassInfo,
};

} // namespace

constinit const CMwClassList g_PlugClassList = {s_PlugClasses,
                                                sizeof(s_PlugClasses) / sizeof(s_PlugClasses[0])};
