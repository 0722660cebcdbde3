#pragma once
// The arithmetic of the script VM's numbers. A Num value is a type word (0 Int, 1 Float) and a
// 32-bit value word, a signed integer or a single-precision float, reinterpreted (never
// converted) when the type changes.
//
// Every result is defined, so that no stored script reaches undefined behaviour or a trap:
// - Int Add, Sub and Mult wrap modulo 2^32; Neg of -2147483648 stays -2147483648;
// - Int division truncates toward zero; by 0 it gives 0, and -2147483648 / -1 gives -2147483648;
// - Int Power is pow in double precision, truncated toward zero to a 64-bit integer whose low
//   32 bits are the result; NaN, or a power outside the signed 64-bit range, gives
//   0x8000000000000000 there (what the x86 conversion answers), so its low bits are 0;
// - a real becomes an Int only through TruncToInt or RoundToInt: NaN, or a value outside
//   [-2^31, 2^31), gives -2147483648.
// Mixed and Float computations run in double precision and are rounded once to a float;
// comparisons are exact (an Int is never rounded to a float first) and false with a NaN.
// Floating-point exceptions stay masked: overflows give infinities, invalid operations NaN.
#include "platform/Types.h"

namespace script {

// The two-operand operators and comparisons of Num values.
enum class ENumOp : u32 { Add, Sub, Mult, Div, Power, Sup, SupEgal, Inf, InfEgal };

// The functions of a Num argument (CMwCmdExpNumFunction's kind); Call takes a script function's
// result instead.
enum ENumFunction : u32 {
    NumFunction_Abs = 0,
    NumFunction_Sqrt = 1,
    NumFunction_Cos = 2,
    NumFunction_Sin = 3,
    NumFunction_Tan = 4,
    NumFunction_Acos = 5,
    NumFunction_Asin = 6,
    NumFunction_Atan = 7,
    NumFunction_Exp = 8,
    NumFunction_Log = 9,
    NumFunction_Round = 10,
    NumFunction_Call = 11,
};

// A Num value: its type word and its value word.
struct SNum {
    u32 Type;
    u32 Word;
};

// Truncation toward zero; NaN or a value outside [-2^31, 2^31) gives -2147483648.
i32 TruncToInt(f64 value);
// The nearest integer, ties to even; NaN or outside [-2^31, 2^31) gives -2147483648.
i32 RoundToInt(f64 value);
// A Num read as a float, as vector components and scales are read: an Int converted to the
// nearest float, any other type's word taken as a float.
f32 NumToFloat(SNum value);
// A Num stored where a 32-bit integer or a float is kept (an assignment's store): an Int's word as
// it is, any other type's float truncated toward zero (TruncToInt); an Int converted to the
// nearest float, any other type's word as it is (bit for bit).
i32 NumToInt(SNum value);
u32 NumToFloatWord(SNum value);

// The operator or comparison over two Num values by the typing rule: the first value's type
// decides whether anything is computed (neither Int nor Float: false, nothing written); both
// Int (the second of any type but Float) is Int arithmetic; otherwise each value is an exact
// double (an Int's integer, a Float's float, the second's word read as an integer unless its type
// is Float), the result rounded once to a float. An operator writes the result's type and word; a
// comparison writes the Bool word, 1 or 0, into `result.Word` and leaves `result.Type`.
bool ComputeNum(ENumOp op, SNum first, SNum second, SNum& result);
// Int: the two's-complement negation; any other type: the word as a float, negated, and Float.
SNum NegateNum(SNum value);
// A function of the argument, applied to the node's value in place. The argument must be Int or
// Float (else false, nothing written); it is rounded to a float first. Kinds 0 to 9 are computed
// in double precision and rounded to a float, type Float; kind 10 rounds to an Int; any other kind
// leaves a Float with the word as it was.
bool ApplyNumFunction(u32 kind, SNum argument, SNum& value);

} // namespace script
