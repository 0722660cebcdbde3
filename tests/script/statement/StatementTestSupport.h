#pragma once
// What the tests of the assignments, member statements and extern variable nods share: a world
// with a test object (named "Object") holding a child (Child, and the first of Children; a second
// child, "Second", follows in Children), and a test root whose object it is, declaring a variable
// of every type (ScriptEveryVariableType); and Class expressions whose run keeps the nod they
// were given or records their binding.
#include "script/block/BlockVariable.h"
#include "script/expression/MwCmdExpClass.h"
#include "tests/script/ScriptTestSupport.h"
#include "tests/script/support/ScriptStatements.h"

#include <initializer_list>

// A Class expression whose value stays the nod it was given (a plain Class expression's run
// makes it null), and which records the block that bound it.
class CFixedNodExp : public CMwCmdExpClass {
public:
    explicit CFixedNodExp(CMwNod* nod) {
        m_Value = nod;
        m_ClassId = CMwNod::s_ClassId;
    }
    void Run() override { ++m_Runs; }
    void Bind(CMwCmdScript* parent) override {
        CMwCmdExpClass::Bind(parent);
        m_BoundWith = parent;
    }

    u32 m_Runs = 0;
    CMwCmdScript* m_BoundWith = nullptr;
};

class CScriptObjectWorld {
public:
    CScriptObjectWorld() {
        m_Object->m_Id.SetFromName("Object");
        m_Child->m_Id.SetFromName("Child");
        m_Second->m_Id.SetFromName("Second");
        m_Object->m_Child.Set(m_Child.Get());
        m_Object->m_Children.Add(m_Child.Get());
        m_Object->m_Children.Add(m_Second.Get());
        m_Root->m_This = m_Object.Get();
        m_Root->m_ThisClassId = CScriptTestObject::s_ClassId;
        DeclareVariables(*m_Root, true, ScriptEveryVariableType());
    }
    ~CScriptObjectWorld() {
        m_Root.Reset();
        for (CScriptTestObject* object : {m_Object.Get(), m_Child.Get(), m_Second.Get()})
            if (object)
                object->DropLinks();
    }
    CScriptObjectWorld(const CScriptObjectWorld&) = delete;
    CScriptObjectWorld& operator=(const CScriptObjectWorld&) = delete;

    // Adds the statements to the root, binds it and gives it the object.
    void Add(std::initializer_list<CMwCmdScript*> cmds) {
        for (CMwCmdScript* cmd : cmds)
            m_Root->AddCmd(cmd);
        Bind();
    }
    void Bind() {
        m_Root->Bind(nullptr);
        m_Root->SetThis(m_Object.Get());
    }
    void Run() { m_Root->Run(); }
    // A variable of the root's live table (what the statements were bound to).
    CBlockVariable& Var(const char* name) {
        CBlockVariable* variable = m_Root->FindLocalVariable(name);
        EXPECT_NE(variable, nullptr) << name;
        return *variable;
    }

    TNodRef<CScriptTestObject> m_Object{new CScriptTestObject};
    TNodRef<CScriptTestObject> m_Child{new CScriptTestObject};
    TNodRef<CScriptTestObject> m_Second{new CScriptTestObject};
    TNodRef<CScriptTestRoot> m_Root{new CScriptTestRoot};
};
