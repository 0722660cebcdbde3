#pragma once
// CMwCmdFuncCall: the operand of the expressions that take their value from a script function
// (CMwCmdExpNumFunction, and the function-call expressions of the other kinds), a plain record
// embedded in its owner expression.
//
// The function is a block that the script's root lists among its methods. The operand names it
// without a reference: a function's body may hold the very expression that calls it, and a counted
// link would keep both alive for ever. Its owner is a dependant of the function instead: when the
// function is released to zero or destroyed the owner forgets it (the owner's
// OnDependencyReleased and OnDependencyDestroyed ask ForgetFunction first), and a function that
// nothing but calls names goes when its last call lets go of it. The arguments are expressions
// held with one reference each.
//
// Stored form, inside the owner's chunk: u32 form (written 0; when another form is read, nothing
// more of the operand is read), the function as a nod reference, u32 n and n argument references
// (any expressions; null allowed).
#include "core/base/FastBuffer.h"
#include "platform/Types.h"

class CClassicArchive;
class CMwCmdBlock;
class CMwCmdExp;
class CMwCmdScript;
class CMwNod;

class CMwCmdFuncCall {
public:
    explicit CMwCmdFuncCall(CMwCmdScript* owner) : m_Owner(owner) {}
    // Gives the arguments back and leaves the function's dependants (which lets a function that
    // nothing else holds go).
    ~CMwCmdFuncCall();
    CMwCmdFuncCall(const CMwCmdFuncCall&) = delete;
    CMwCmdFuncCall& operator=(const CMwCmdFuncCall&) = delete;

    // Reads or writes the stored form in the owner's chunk. Reading into an operand that holds a
    // function or arguments already, a function that is not a block, or a list longer than the
    // data, is invalid data.
    void Archive(CClassicArchive& archive, u32 chunkId);
    // Binds every argument with the given block; passes the script's object to every argument.
    void Bind(CMwCmdScript* parent);
    void SetThis(CMwNod* nod);

    // Links the function (the owner becomes its dependant; null unlinks).
    void SetFunction(CMwCmdBlock* function);
    // Appends an argument, taking one reference (as the reader does).
    void AddArgument(CMwCmdExp* argument);
    // The owner heard that the nod is released to zero (released) or destroyed: true when the nod
    // was the function, which is then forgotten and, when released, let go.
    bool ForgetFunction(CMwNod* nod, bool released);

    CMwCmdScript* m_Owner;
    CMwCmdBlock* m_Function = nullptr;
    CFastArray<CMwCmdExp*> m_Arguments;
};
