#pragma once
// The container member kinds: for fourteen base kinds, an exact-size array (type code base + 1,
// a CFastArray), a growable buffer (base + 2, a CFastBuffer) and a bucket list (base + 3). They
// have no class identity of their own: they answer as CMwParam.
#include "core/nod/MwParam.h"

class CMwParamContainer : public CMwParam {
public:
    using Super = CMwParam;

    // `elementType` is the base kind's type code, `layout` MwTypeArray, MwTypeBuffer or
    // MwTypeBucketList.
    CMwParamContainer(u32 elementType, u32 layout) : m_ElementType(elementType), m_Layout(layout) {}

    // The descriptor of one container type code; the descriptor table is built with it.
    static CMwParam* Create(u32 elementType, u32 layout);

    u32 GetTypeCode() const { return m_ElementType + m_Layout; }
    u32 GetElementType() const { return m_ElementType; }
    u32 GetLayout() const { return m_Layout; }

private:
    u32 m_ElementType;
    u32 m_Layout;
};
