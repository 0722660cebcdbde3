#include "core/nod/MwParamRefBuffer.h"

MW_DEFINE_CLASS(CMwParamRefBuffer, MwFactory<CMwParamRefBuffer>, MW_NO_MEMBERS, MW_NO_CHUNKS);
