#pragma once
// The frame of a class's virtual member operations (GetParamVirtual, SetParamVirtual,
// AddParamVirtual, SubParamVirtual): the member item is taken from the path, the class answers
// for its own virtual members, and for any other member the item is put back and the C++ base
// class's operation answers. The helpers below do the taking, the putting back and the call to
// the base; the class writes only its own answers:
//
//   u32 CThing::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
//       return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
//           switch (member.MemberId) {
//               case s_CountMemberId:
//                   return MwAnswerValue(out, GetCount());
//               default:
//                   return MwNotOwnMember;
//           }
//       });
//   }
//
// `own` runs with the member item taken: the path's current item is the one after the member.
// The base is the class's `Super` (MW_DECLARE_CLASS), called without virtual dispatch.
#include "core/nod/MwMemberPath.h"

#include <cstring>
#include <optional>
#include <type_traits>

// What a class's own answer gives: a result, or MwNotOwnMember for a member it does not handle.
using MwOwnAnswer = std::optional<u32>;
inline constexpr std::nullopt_t MwNotOwnMember = std::nullopt;

// A computed value: copied into the value reference's scratch, where Value points; MwParam_Ok.
template <class T>
u32 MwAnswerValue(CMwParamValue* out, const T& value) {
    static_assert(std::is_trivially_copyable_v<T> && sizeof(T) <= sizeof(out->Scratch));
    std::memcpy(out->Scratch, &value, sizeof value);
    out->Value = out->Scratch;
    return MwParam_Ok;
}

namespace mw_virtual_member {

// The base whose operation answers for the other members.
template <class C>
struct BaseOf {
    static_assert(std::is_same_v<typename C::MwDeclaredClass, C>,
                  "virtual member operations: the class has no MW_DECLARE_CLASS of its own, so its "
                  "Super is an ancestor's base and the ancestor's own members would be skipped");
    using Type = typename C::Super;
};

template <class Own, class Base>
u32 Run(CMwMemberPath* path, Own& own, Base base) {
    if (CMwMemberInfo* member = path->TakeMember()) {
        if (const MwOwnAnswer answer = own(*member))
            return *answer;
        path->PutBack();
    }
    return base();
}

} // namespace mw_virtual_member

template <class C, class Own, class Base = typename mw_virtual_member::BaseOf<C>::Type>
u32 MwGetParamVirtual(C* nod, CMwMemberPath* path, CMwParamValue* out, Own own) {
    return mw_virtual_member::Run(path, own, [&] { return nod->Base::GetParamVirtual(path, out); });
}

template <class C, class Own, class Base = typename mw_virtual_member::BaseOf<C>::Type>
u32 MwSetParamVirtual(C* nod, CMwMemberPath* path, const void* value, Own own) {
    return mw_virtual_member::Run(path, own,
                                  [&] { return nod->Base::SetParamVirtual(path, value); });
}

template <class C, class Own, class Base = typename mw_virtual_member::BaseOf<C>::Type>
u32 MwAddParamVirtual(C* nod, CMwMemberPath* path, const void* value, Own own) {
    return mw_virtual_member::Run(path, own,
                                  [&] { return nod->Base::AddParamVirtual(path, value); });
}

template <class C, class Own, class Base = typename mw_virtual_member::BaseOf<C>::Type>
u32 MwSubParamVirtual(C* nod, CMwMemberPath* path, const void* value, Own own) {
    return mw_virtual_member::Run(path, own,
                                  [&] { return nod->Base::SubParamVirtual(path, value); });
}
