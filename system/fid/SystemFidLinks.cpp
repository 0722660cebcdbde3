#include "system/fid/SystemFidLinks.h"

#include "system/fid/SystemFid.h"

namespace {

constinit CSystemFidLinks s_DefaultLinks;
constinit CSystemFidLinks* s_Links = &s_DefaultLinks;

} // namespace

CSystemFidLinks& SystemFidLinks() {
    return *s_Links;
}

void SetSystemFidLinks(CSystemFidLinks* links) {
    s_Links = links ? links : &s_DefaultLinks;
}

void CSystemFidLinks::AttachNodToFidWithParamSet(CMwNod* nod, CSystemFid* fid,
                                                 const CSystemParamSet& set) {
    if (!nod || !fid || fid->GetNodFor(set))
        return;
    CSystemFid* old = nod->GetFid();
    if (old && old != fid) {
        nod->RemoveDependantIfPresent(old);
        old->ClearNod(nod);
    }
    fid->SetNod(nod);
    fid->m_ParamSet.Assign(set);
    if (fid->m_Folder)
        AddLeafIfAbsent(fid->m_Folder, fid);
}
