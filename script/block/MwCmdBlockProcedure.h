#pragma once
// The procedure and function blocks: the bodies the script root lists in its Methods member. A
// procedure is a block whose parameters are ordinary variables of the block, given their values
// by its parameter statements when it is called; only calls push its frames, so it is made with
// bit 2 (own frame) clear. A function is a procedure that keeps the value expression of the
// return that ended it, from which the calling expression takes its value.
//
// Chunk 0x01098000 (read and written): u32 count and that many parameter statements
// (identifier assignments). Reading, each is held with one reference and told not to evaluate
// its own value: at a call it stores the value of an argument evaluated already.
#include "script/block/MwCmdBlock.h"

class CMwCmdAffectIdent;

class CMwCmdBlockProcedure : public CMwCmdBlock {
    MW_DECLARE_CLASS(CMwCmdBlockProcedure, CMwCmdBlock, 0x01098000)
public:
    static constexpr u32 s_ParametersChunk = 0x01098000;

    CMwCmdBlockProcedure();
    ~CMwCmdBlockProcedure() override;

    // The block's bind, then every parameter statement with the procedure as parent.
    void Bind(CMwCmdScript* parent) override;
    // Bit 4, and the chain ends here: the caller's blocks go on.
    void Return(CMwCmdExp* value) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    // Appends a parameter statement, taking one reference and clearing its evaluate flag (as the
    // chunk reader does).
    void AddParameter(CMwCmdAffectIdent* statement);

    CFastArray<CMwCmdAffectIdent*> m_Parameters;
};

class CMwCmdBlockFunction : public CMwCmdBlockProcedure {
    MW_DECLARE_CLASS(CMwCmdBlockFunction, CMwCmdBlockProcedure, 0x01099000)
public:
    // Bit 4, and the expression kept as the result.
    void Return(CMwCmdExp* value) override;

    // The value expression of the return that ended the last call; not counted (the return
    // statement in the body holds it).
    CMwCmdExp* m_Result = nullptr;
};
