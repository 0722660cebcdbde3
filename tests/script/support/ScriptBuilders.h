#pragma once
// Builders of script trees for the tests, the benchmark and the fuzz corpus. The top of a tree
// comes back as an owned reference (TNodRef); children are new nods with no reference yet, which
// the node they are given to takes as its chunk reader would. Loading memory images and comparing
// trees need the System engine (its memory folder).
#include "core/nod/MwNod.h"
#include "script/block/MwCmdBlock.h"
#include "tests/script/support/ScriptTestNods.h"

#include <initializer_list>
#include <string>
#include <vector>

// Holds one reference on a nod of class T for its lifetime.
template <class T>
class TNodRef {
public:
    TNodRef() = default;
    explicit TNodRef(T* nod) : m_Ref(nod) {}
    T* Get() const { return static_cast<T*>(m_Ref.Get()); }
    T* operator->() const { return Get(); }
    T& operator*() const { return *Get(); }
    explicit operator bool() const { return bool(m_Ref); }
    void Reset(T* nod = nullptr) { m_Ref.Set(nod); }

private:
    CMwNodRef m_Ref;
};

// A variable declaration: name, type, id (Class and Enum), flag.
struct SScriptVariableSpec {
    const char* Name;
    u32 Type;
    u32 Id = 0;
    u32 Flag = 0;
};

// One declaration of every type, 0 to 9 ("b", "i", "f", "s", "c", "e", "v2", "v3", "m", "u"), the
// Class one of the test object's class and the Enum one with a member id.
std::vector<SScriptVariableSpec> ScriptEveryVariableType();

// A new test statement (no reference taken).
CScriptTestCmd* NewTestCmd(u32 tag, u32 action = CScriptTestCmd::Action_None, u32 argument = 0);

// Declares the variables on the block (persistent or frame 0's).
void DeclareVariables(CMwCmdBlock& block, bool persistent,
                      std::initializer_list<SScriptVariableSpec> variables);
void DeclareVariables(CMwCmdBlock& block, bool persistent,
                      const std::vector<SScriptVariableSpec>& variables);

// A new block holding the statements (one reference taken on each) and declaring the variables;
// not bound. NewBlock leaves it to a parent, MakeBlock hands back a reference.
CMwCmdBlock* NewBlock(std::initializer_list<CMwCmdScript*> cmds,
                      std::initializer_list<SScriptVariableSpec> persistent = {},
                      std::initializer_list<SScriptVariableSpec> frame = {});
TNodRef<CMwCmdBlock> MakeBlock(std::initializer_list<CMwCmdScript*> cmds,
                               std::initializer_list<SScriptVariableSpec> persistent = {},
                               std::initializer_list<SScriptVariableSpec> frame = {});

// The archive image of the nod's tree, in the encoding and with the release flag given; empty
// when not saved.
std::string ScriptSaveImage(CMwNod* nod, bool release, bool text);
// The nod of a memory image, or null when it does not load.
TNodRef<CMwNod> ScriptLoadImage(const std::string& image);
// Whether the two nods save to the same bytes (CompareNods, which saves without the release
// flag) and, when release is set, to the same release images in both encodings.
bool ScriptSameTrees(CMwNod* a, CMwNod* b, bool release);
