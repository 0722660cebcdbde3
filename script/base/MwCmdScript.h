#pragma once
// The three abstract bases of every script node: CMwCmdScript, a command with a parent link;
// CMwCmdInst, the base of the statements; CMwCmdExp, the base of the expressions. A block
// (CMwCmdBlock) derives from CMwCmdScript directly: it is neither a statement nor an expression,
// yet it may stand in a block's statement list.
//
// A script is a tree of these nods, loaded from an archive; there is no parser. Running a
// statement executes it; running an expression leaves its value in the node.
//
// Ownership: a node holds its children (the statements of a block, the operands of an
// expression, the blocks of a control statement) with one counted reference each, taken when its
// chunk is read through the readers of ScriptArchive.h and given back by its destructor. The
// parent link, and the links that point up or across the tree, are not counted.
//
// Life of a tree: load; Bind with a null parent on the root (each node stores its parent and
// binds its children with the block that is their parent: a block binds its statements with
// itself, statements and expressions pass their own parent block on, so an expression's parent is
// always a block); then, for each execution, SetThis with the object the script works on and Run.
// Names are resolved at bind time only.
#include "core/nod/MwCmd.h"
#include "script/base/ScriptValue.h"

class CClassicString;

class CMwCmdScript : public CMwCmd {
    MW_DECLARE_CLASS(CMwCmdScript, CMwCmd, 0x01052000)
public:
    // The Action member whose write runs the node (CMwCmd::Run).
    static constexpr u32 s_RunMemberId = 0x01052000;

    // Stores the parent. Nodes with children bind them after, with their parent block.
    virtual void Bind(CMwCmdScript* parent) { m_Parent = parent; }
    // Gives the object the script works on to the children that keep it or pass it on; a null
    // nod clears it. Nothing here.
    virtual void SetThis(CMwNod*) {}
    // The object the script works on; nodes ask their parent chain and the root answers. Null
    // here.
    virtual CMwNod* GetThis() { return nullptr; }

    // The node reached by following parents up to one without parent (this node when it has
    // none).
    CMwCmdScript* GetRoot();

    // Reading, the node counts as being read until its body ends, so that a child reference back
    // to it (a cycle) is refused as invalid data.
    u32 Archive(CClassicArchive& archive) override;
    bool IsBodyBeingRead() const { return m_BodyBeingRead != 0; }

    // Set by Bind: the block that binds this node, null for the root. Not counted.
    CMwCmdScript* m_Parent = nullptr;

private:
    u8 m_BodyBeingRead = 0;
};

class CMwCmdInst : public CMwCmdScript {
    MW_DECLARE_CLASS(CMwCmdInst, CMwCmdScript, 0x01031000)
public:
    // Continues a suspended execution at this statement; depth is the index of the execution's
    // call frame in the root. Nothing here.
    virtual void Resume(u32) {}
    // A loop is asked to stop: by a Break statement, or with null by a Return, Sleep or Wait in
    // its body. Nothing here.
    virtual void Break(CMwCmdInst*) {}
    // A loop is asked to go on with its next pass. Nothing here.
    virtual void Continue(CMwCmdInst*) {}
};

class CMwCmdExp : public CMwCmdScript {
    MW_DECLARE_CLASS(CMwCmdExp, CMwCmdScript, 0x01038000)
public:
    // 1 when the other expression, of the same value kind, holds an equal value; else 0.
    virtual u32 IsEqual(CMwCmdExp* other) = 0;
    // The address of the node's value.
    virtual void* GetValuePtr() = 0;
    // Stores the node's value back where it was read from (a variable, a member); the result of
    // the store. Nothing here: 0.
    virtual u32 WriteBack() { return 0; }
    // Overwrites the node's value with the value of the node's kind at the address.
    virtual void SetValue(const void* value) = 0;
    // The address of the node's value, as GetValuePtr.
    virtual void* GetResultPtr() = 0;
    // 1 when the value must be copied; 0 when it may be referenced and written back (the
    // identifier and member forms).
    virtual u32 IsConstant() { return 1; }
    // Points the record's Value at a copy of the value that stays valid until the node runs again.
    virtual void GetValue(CmdExpValueRecord& record) = 0;
    // The value's text.
    virtual void ToString(CClassicString& text) = 0;

    // A CmdExpValueType, set by each value class's constructor; never stored.
    i32 m_ValueKind = CmdExpValue_None;
};
