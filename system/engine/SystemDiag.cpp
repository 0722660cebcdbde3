#include "system/engine/SystemDiag.h"

#include "core/nod/MwDiag.h"
#include "core/nod/MwId.h"
#include "core/nod/MwNod.h"
#include "system/fid/SystemFidFile.h"

#include <cinttypes>

i32 DiagDescribeNod(CClassicString& out, const char* label, const CMwNod* nod, bool withPrefix) {
    if (!IsValidNodPointerGuarded(nod)) {
        if (withPrefix)
            DiagWritePrefix(out);
        out.Append("!! Invalid ");
        out.Append(label);
        out.AppendFormat(" pointer=0x%08" PRIXPTR, reinterpret_cast<uintptr_t>(nod));
        return 0;
    }
    auto* live = const_cast<CMwNod*>(nod);
    CSystemFid* fid = live->GetFid();
    if (CMwNod::IsValidNod(fid) && fid->IsKindOf(CSystemFidFile::s_ClassId)) {
        CClassicWideString path;
        static_cast<CSystemFidFile*>(fid)->GetFullFileName(path);
        CClassicString name;
        path.ToNarrow(name);
        if (withPrefix)
            DiagWritePrefix(out);
        out.Append(label);
        out.Append("=");
        out.Append(name);
        return 1;
    }
    const CMwId* id = live->GetIdPtr();
    if (id && id->m_Value != CMwId::Unassigned) {
        CClassicString text;
        id->GetText(text);
        if (!text.IsEmpty()) {
            if (withPrefix)
                DiagWritePrefix(out);
            out.Append(label);
            out.Append(" MwId=");
            out.Append(text);
        }
    }
    return 1;
}
