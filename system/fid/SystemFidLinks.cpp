#include "system/fid/SystemFidLinks.h"

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
