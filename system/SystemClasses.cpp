#include "system/SystemClasses.h"

#include "system/archive/SystemArchive.h"
#include "system/config/SystemConfig.h"
#include "system/config/SystemConfigDisplay.h"
#include "system/engine/SystemEngine.h"
#include "system/engine/SystemInput.h"
#include "system/fid/SystemFid.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFids.h"
#include "system/xml/HdrNod.h"
#include "system/xml/XmlNod.h"

namespace {

// In the order of the class ids: the System engine's, then the Xml engine's.
constinit CMwClassInfo* const s_SystemClasses[] = {
    &CSystemEngine::s_ClassInfo,
    &CSystemMouse::s_ClassInfo,
    &CSystemKeyboard::s_ClassInfo,
    &CSystemWindow::s_ClassInfo,
    &CSystemConfig::s_ClassInfo,
    &CNodSystem::s_ClassInfo,
    &CSystemFid::s_ClassInfo,
    &CSystemFids::s_ClassInfo,
    &CSystemFidFile::s_ClassInfo,
    &CSystemFidsFolder::s_ClassInfo,
    &CSystemFidsDrive::s_ClassInfo,
    &CSystemFidMemory::s_ClassInfo,
    &CSystemConfigDisplay::s_ClassInfo,
    &CSystemDummyFidLoader::s_ClassInfo,
    &CSystemFidCache::s_ClassInfo,
    &CXmlNod::s_ClassInfo,
    &CXmlAttribute::s_ClassInfo,
    &CXmlComment::s_ClassInfo,
    &CXmlDeclaration::s_ClassInfo,
    &CXmlDocument::s_ClassInfo,
    &CXmlElement::s_ClassInfo,
    &CXmlText::s_ClassInfo,
    &CXmlUnknown::s_ClassInfo,
    &CHdrComment::s_ClassInfo,
    &CHdrDeclaration::s_ClassInfo,
    &CHdrDocument::s_ClassInfo,
    &CHdrElement::s_ClassInfo,
    &CHdrText::s_ClassInfo,
    &CHdrUnknown::s_ClassInfo,
};

} // namespace

constinit const CMwClassList g_SystemClassList = {s_SystemClasses, sizeof(s_SystemClasses) /
                                                                       sizeof(s_SystemClasses[0])};
