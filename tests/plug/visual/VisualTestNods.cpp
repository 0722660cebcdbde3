#include "tests/plug/visual/VisualTestNods.h"

MW_DEFINE_CLASS(CPlugVisualTest, MwFactory<CPlugVisualTest>, MW_NO_MEMBERS, MW_NO_CHUNKS);

namespace {
constinit CMwClassInfo* const s_Classes[] = {&CPlugVisualTest::s_ClassInfo};
} // namespace
constinit const CMwClassList g_PlugVisualTestClassList = {s_Classes, 1};
