#pragma once
// Members that are a few bits of one of a class's flag words. Their rows are ordinary member rows
// (Bool, Natural, NaturalRange or Enum) without a field (MW_VIRTUAL, with the virtual get and set
// flags); the class answers them in its virtual member operations from one constexpr table:
//
//   constexpr auto kFlagMembers = MwBitFieldTable<CThing::s_ClassId, 2>({
//       //  member id, word, first bit, width, largest value, change rule
//       {0x01F00003, 0, 0, 8, 27, kRuleDirty},
//       {0x01F00004, 1, 5, 1, 1, kRuleNone},
//   });
//   ...
//   if (const MwBitField* field = kFlagMembers.Find(member.MemberId))
//       return MwAnswerValue(out, MwGetBitField(m_Flags, *field));
//
// A write stores min(value, largest value) in the bits; the change rule is a value the class
// interprets after the write (nothing, a dirty flag, ...). The table is checked when it is
// compiled: a bit range past the 32 bits of its word, a word the class does not have, a largest
// value that does not fit the width, a member id that is not the class's or is listed twice stop
// the build with the reason in the compiler's message.
#include "platform/Types.h"

#include <cstddef>

struct MwBitField {
    u32 MemberId;
    u8 Word;
    u8 Shift;
    u8 Width;
    u32 Max;
    u32 Rule;
};

namespace mw_bit_fields {

// Never defined: a table that does not fit calls it while it is evaluated at compile time, and
// the compiler quotes the call with its reason.
void FieldError(const char* reason);

constexpr u32 WidthMask(u32 width) {
    return width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1;
}

} // namespace mw_bit_fields

template <size_t N>
struct CMwBitFieldTable {
    MwBitField Fields[N];

    // The field of the member; null for a member the table does not hold.
    constexpr const MwBitField* Find(u32 memberId) const {
        for (const MwBitField& field : Fields)
            if (field.MemberId == memberId)
                return &field;
        return nullptr;
    }
};

// The checked table of a class with `WordCount` flag words.
template <u32 ClassId, u32 WordCount, size_t N>
consteval CMwBitFieldTable<N> MwBitFieldTable(const MwBitField (&fields)[N]) {
    using mw_bit_fields::FieldError;
    CMwBitFieldTable<N> table{};
    for (size_t i = 0; i < N; ++i) {
        const MwBitField& field = fields[i];
        if ((field.MemberId & 0xFFFFF000u) != ClassId)
            FieldError("bit-field member: the member id is not the class's");
        for (size_t j = 0; j < i; ++j)
            if (fields[j].MemberId == field.MemberId)
                FieldError("bit-field member: the member is listed twice");
        if (field.Word >= WordCount)
            FieldError("bit-field member: the class has no such flag word");
        if (field.Width == 0 || u32(field.Shift) + field.Width > 32)
            FieldError("bit-field member: the bits lie past the 32 bits of the word");
        if (field.Max > mw_bit_fields::WidthMask(field.Width))
            FieldError("bit-field member: the largest value does not fit the width");
        table.Fields[i] = field;
    }
    return table;
}

// The field's value in the words.
constexpr u32 MwGetBitField(const u32* words, const MwBitField& field) {
    return (words[field.Word] >> field.Shift) & mw_bit_fields::WidthMask(field.Width);
}

// Stores min(value, largest value); true when the word changed.
constexpr bool MwSetBitField(u32* words, const MwBitField& field, u32 value) {
    const u32 mask = mw_bit_fields::WidthMask(field.Width) << field.Shift;
    const u32 stored = (value < field.Max ? value : field.Max) << field.Shift;
    const u32 before = words[field.Word];
    words[field.Word] = (before & ~mask) | (stored & mask);
    return words[field.Word] != before;
}
