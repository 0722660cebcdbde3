#include "core/nod/MwParamContainer.h"

CMwParam* CMwParamContainer::Create(u32 elementType, u32 layout) {
    return new CMwParamContainer(elementType, layout);
}
