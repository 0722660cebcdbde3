#include "script/ScriptClasses.h"

#include "script/base/MwCmdScript.h"
#include "script/block/BlockVariable.h"
#include "script/block/MwCmdBlock.h"
#include "script/block/MwCmdBlockMain.h"
#include "script/block/MwCmdBlockProcedure.h"
#include "script/expression/MwCmdExpClass.h"
#include "script/expression/MwCmdExpEnum.h"
#include "script/expression/MwCmdExpIdent.h"
#include "script/expression/MwCmdExpNum.h"
#include "script/expression/MwCmdExpParam.h"
#include "script/expression/MwCmdExpString.h"
#include "script/expression/MwCmdExpStringOps.h"
#include "script/expression/MwCmdExpVec.h"
#include "script/statement/MwCmdAffectIdent.h"
#include "script/statement/MwCmdAffectParam.h"
#include "script/statement/MwCmdCall.h"
#include "script/var/MwCmdScriptVar.h"

namespace {

constinit CMwClassInfo* const s_ScriptClasses[] = {
    // Object model, blocks and variables.
    &CMwCmdScript::s_ClassInfo,
    &CMwCmdInst::s_ClassInfo,
    &CMwCmdExp::s_ClassInfo,
    &CBlockVariable::s_ClassInfo,
    &CMwCmdBlock::s_ClassInfo,
    &CMwCmdBlockMain::s_ClassInfo,
    &CMwCmdBlockProcedure::s_ClassInfo,
    &CMwCmdBlockFunction::s_ClassInfo,
    // Numbers and Booleans.
    &CMwCmdExpNum::s_ClassInfo,
    &CMwCmdExpNumBin::s_ClassInfo,
    &CMwCmdExpAdd::s_ClassInfo,
    &CMwCmdExpSub::s_ClassInfo,
    &CMwCmdExpMult::s_ClassInfo,
    &CMwCmdExpDiv::s_ClassInfo,
    &CMwCmdExpPower::s_ClassInfo,
    &CMwCmdExpNeg::s_ClassInfo,
    &CMwCmdExpNumFunction::s_ClassInfo,
    &CMwCmdExpBool::s_ClassInfo,
    &CMwCmdExpBoolBin::s_ClassInfo,
    &CMwCmdExpSup::s_ClassInfo,
    &CMwCmdExpSupEgal::s_ClassInfo,
    &CMwCmdExpInf::s_ClassInfo,
    &CMwCmdExpInfEgal::s_ClassInfo,
    &CMwCmdExpEgal::s_ClassInfo,
    &CMwCmdExpDiff::s_ClassInfo,
    &CMwCmdExpAnd::s_ClassInfo,
    &CMwCmdExpOr::s_ClassInfo,
    &CMwCmdExpNot::s_ClassInfo,
    // Vectors and matrices.
    &CMwCmdExpVec2::s_ClassInfo,
    &CMwCmdExpVec3::s_ClassInfo,
    &CMwCmdExpIso4::s_ClassInfo,
    &CMwCmdExpVec2Add::s_ClassInfo,
    &CMwCmdExpVec2Sub::s_ClassInfo,
    &CMwCmdExpVec2Neg::s_ClassInfo,
    &CMwCmdExpVec2Mult::s_ClassInfo,
    &CMwCmdExpVec3Add::s_ClassInfo,
    &CMwCmdExpVec3Sub::s_ClassInfo,
    &CMwCmdExpVec3Neg::s_ClassInfo,
    &CMwCmdExpVec3Mult::s_ClassInfo,
    &CMwCmdExpVec3MultIso::s_ClassInfo,
    &CMwCmdExpVec3Product::s_ClassInfo,
    &CMwCmdExpIso4Mult::s_ClassInfo,
    &CMwCmdExpIso4Inverse::s_ClassInfo,
    &CMwCmdExpNumDotProduct2::s_ClassInfo,
    &CMwCmdExpNumDotProduct3::s_ClassInfo,
    // Strings, enumerations and classes.
    &CMwCmdExpString::s_ClassInfo,
    &CMwCmdExpEnum::s_ClassInfo,
    &CMwCmdExpClass::s_ClassInfo,
    &CMwCmdExpStringConcat::s_ClassInfo,
    &CMwCmdExpStringTrunc::s_ClassInfo,
    &CMwCmdExpStringUpDownCase::s_ClassInfo,
    &CMwCmdExpEnumCastedNum::s_ClassInfo,
    &CMwCmdExpNumCastedEnum::s_ClassInfo,
    &CMwCmdExpClassThis::s_ClassInfo,
    // Variables and members read by expressions.
    &CMwCmdExpNumIdent::s_ClassInfo,
    &CMwCmdExpBoolIdent::s_ClassInfo,
    &CMwCmdExpStringIdent::s_ClassInfo,
    &CMwCmdExpClassIdent::s_ClassInfo,
    &CMwCmdExpEnumIdent::s_ClassInfo,
    &CMwCmdExpVec2Ident::s_ClassInfo,
    &CMwCmdExpVec3Ident::s_ClassInfo,
    &CMwCmdExpIso4Ident::s_ClassInfo,
    &CMwCmdExpNumParam::s_ClassInfo,
    &CMwCmdExpBoolParam::s_ClassInfo,
    &CMwCmdExpStringParam::s_ClassInfo,
    &CMwCmdExpClassParam::s_ClassInfo,
    &CMwCmdExpEnumParam::s_ClassInfo,
    &CMwCmdExpVec2Param::s_ClassInfo,
    &CMwCmdExpVec3Param::s_ClassInfo,
    &CMwCmdExpIso4Param::s_ClassInfo,
    // Assignments to variables.
    &CMwCmdAffectIdent::s_ClassInfo,
    &CMwCmdAffectIdentBool::s_ClassInfo,
    &CMwCmdAffectIdentClass::s_ClassInfo,
    &CMwCmdAffectIdentIso4::s_ClassInfo,
    &CMwCmdAffectIdentNum::s_ClassInfo,
    &CMwCmdAffectIdentString::s_ClassInfo,
    &CMwCmdAffectIdentVec2::s_ClassInfo,
    &CMwCmdAffectIdentVec3::s_ClassInfo,
    &CMwCmdAffectIdentEnum::s_ClassInfo,
    // Assignments to members, and the other member statements.
    &CMwCmdAffectParam::s_ClassInfo,
    &CMwCmdAffectParamBool::s_ClassInfo,
    &CMwCmdAffectParamClass::s_ClassInfo,
    &CMwCmdAffectParamEnum::s_ClassInfo,
    &CMwCmdAffectParamIso4::s_ClassInfo,
    &CMwCmdAffectParamNum::s_ClassInfo,
    &CMwCmdAffectParamString::s_ClassInfo,
    &CMwCmdAffectParamVec2::s_ClassInfo,
    &CMwCmdAffectParamVec3::s_ClassInfo,
    &CMwCmdCall::s_ClassInfo,
    &CMwCmdArrayAdd::s_ClassInfo,
    &CMwCmdArrayRemove::s_ClassInfo,
    // Extern variable nods.
    &CMwCmdScriptVar::s_ClassInfo,
    &CMwCmdScriptVarBool::s_ClassInfo,
    &CMwCmdScriptVarClass::s_ClassInfo,
    &CMwCmdScriptVarFloat::s_ClassInfo,
    &CMwCmdScriptVarInt::s_ClassInfo,
    &CMwCmdScriptVarIso4::s_ClassInfo,
    &CMwCmdScriptVarString::s_ClassInfo,
    &CMwCmdScriptVarVec2::s_ClassInfo,
    &CMwCmdScriptVarVec3::s_ClassInfo,
    &CMwCmdScriptVarEnum::s_ClassInfo,
};

} // namespace

constinit const CMwClassList g_ScriptClassList = {s_ScriptClasses, sizeof(s_ScriptClasses) /
                                                                       sizeof(s_ScriptClasses[0])};
