#include "script/expression/ScriptNumbers.h"

#include "script/base/ScriptValue.h"

#include <bit>
#include <cmath>
#include <limits>

namespace script {

namespace {

constexpr i32 kIntMin = std::numeric_limits<i32>::min();

u32 FloatWord(f64 value) {
    return std::bit_cast<u32>(static_cast<f32>(value));
}

u32 IntWord(i32 value) {
    return std::bit_cast<u32>(value);
}

// Int Power: the power in double, truncated toward zero to 64 bits; the low 32 bits.
u32 IntPower(i32 base, i32 exponent) {
    const f64 power = std::pow(f64(base), f64(exponent));
    const bool fits = power >= -0x1p63 && power < 0x1p63; // false for NaN
    const i64 truncated = fits ? i64(power) : std::numeric_limits<i64>::min();
    return u32(u64(truncated));
}

bool Compare(ENumOp op, auto a, auto b) {
    switch (op) {
        case ENumOp::Sup:
            return a > b;
        case ENumOp::SupEgal:
            return a >= b;
        case ENumOp::Inf:
            return a < b;
        default:
            return a <= b;
    }
}

u32 IntOperation(ENumOp op, i32 a, i32 b) {
    const u32 ua = u32(a), ub = u32(b);
    switch (op) {
        case ENumOp::Add:
            return ua + ub;
        case ENumOp::Sub:
            return ua - ub;
        case ENumOp::Mult:
            return ua * ub;
        case ENumOp::Div:
            if (b == 0)
                return 0;
            return b == -1 ? 0u - ua : IntWord(a / b);
        case ENumOp::Power:
            return IntPower(a, b);
        default:
            return Compare(op, a, b) ? 1 : 0;
    }
}

u32 FloatOperation(ENumOp op, f64 a, f64 b) {
    switch (op) {
        case ENumOp::Add:
            return FloatWord(a + b);
        case ENumOp::Sub:
            return FloatWord(a - b);
        case ENumOp::Mult:
            return FloatWord(a * b);
        case ENumOp::Div:
            return FloatWord(a / b);
        case ENumOp::Power:
            return FloatWord(std::pow(a, b));
        default:
            return Compare(op, a, b) ? 1 : 0;
    }
}

bool IsComparison(ENumOp op) {
    return op >= ENumOp::Sup;
}

} // namespace

i32 TruncToInt(f64 value) {
    if (!(value >= -0x1p31 && value < 0x1p31))
        return kIntMin;
    return i32(value);
}

i32 RoundToInt(f64 value) {
    // The default rounding mode, which the engine never changes: to nearest, ties to even.
    return TruncToInt(std::nearbyint(value));
}

f32 NumToFloat(SNum value) {
    return value.Type == CmdExpNum_Int ? f32(std::bit_cast<i32>(value.Word))
                                       : std::bit_cast<f32>(value.Word);
}

i32 NumToInt(SNum value) {
    return value.Type == CmdExpNum_Int ? std::bit_cast<i32>(value.Word)
                                       : TruncToInt(std::bit_cast<f32>(value.Word));
}

u32 NumToFloatWord(SNum value) {
    return value.Type == CmdExpNum_Int ? std::bit_cast<u32>(NumToFloat(value)) : value.Word;
}

bool ComputeNum(ENumOp op, SNum first, SNum second, SNum& result) {
    if (first.Type != CmdExpNum_Int && first.Type != CmdExpNum_Float)
        return false;
    const bool firstInt = first.Type == CmdExpNum_Int;
    const bool secondFloat = second.Type == CmdExpNum_Float;
    u32 word;
    if (firstInt && !secondFloat) {
        word = IntOperation(op, std::bit_cast<i32>(first.Word), std::bit_cast<i32>(second.Word));
    } else {
        const f64 a =
            firstInt ? f64(std::bit_cast<i32>(first.Word)) : f64(std::bit_cast<f32>(first.Word));
        const f64 b = secondFloat ? f64(std::bit_cast<f32>(second.Word))
                                  : f64(std::bit_cast<i32>(second.Word));
        word = FloatOperation(op, a, b);
    }
    result.Word = word;
    if (!IsComparison(op))
        result.Type = firstInt && !secondFloat ? CmdExpNum_Int : CmdExpNum_Float;
    return true;
}

SNum NegateNum(SNum value) {
    if (value.Type == CmdExpNum_Int)
        return {CmdExpNum_Int, 0u - value.Word};
    return {CmdExpNum_Float, std::bit_cast<u32>(-std::bit_cast<f32>(value.Word))};
}

bool ApplyNumFunction(u32 kind, SNum argument, SNum& value) {
    if (argument.Type != CmdExpNum_Int && argument.Type != CmdExpNum_Float)
        return false;
    const f64 x = NumToFloat(argument);
    value.Type = CmdExpNum_Float;
    switch (kind) {
        case NumFunction_Abs:
            value.Word = FloatWord(std::fabs(x));
            break;
        case NumFunction_Sqrt:
            value.Word = FloatWord(std::sqrt(x));
            break;
        case NumFunction_Cos:
            value.Word = FloatWord(std::cos(x));
            break;
        case NumFunction_Sin:
            value.Word = FloatWord(std::sin(x));
            break;
        case NumFunction_Tan:
            value.Word = FloatWord(std::tan(x));
            break;
        case NumFunction_Acos:
            value.Word = FloatWord(std::acos(x));
            break;
        case NumFunction_Asin:
            value.Word = FloatWord(std::asin(x));
            break;
        case NumFunction_Atan:
            value.Word = FloatWord(std::atan(x));
            break;
        case NumFunction_Exp:
            value.Word = FloatWord(std::exp(x));
            break;
        case NumFunction_Log:
            value.Word = FloatWord(std::log(x));
            break;
        case NumFunction_Round:
            value = {CmdExpNum_Int, IntWord(RoundToInt(x))};
            break;
        default:
            break;
    }
    return true;
}

} // namespace script
