#include "system/fid/SystemFidLinks.h"

#include "system/fid/SystemFid.h"
#include "system/fid/SystemFids.h"

#include <type_traits>

namespace {

class CDefaultFidLinks final : public CSystemFidLinks {};
static_assert(std::is_trivially_destructible_v<CDefaultFidLinks>);

constinit CDefaultFidLinks s_DefaultLinks;
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
        fid->m_Folder->AddLeafIfAbsent(fid);
}
