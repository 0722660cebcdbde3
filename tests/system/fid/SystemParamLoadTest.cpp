// The parameter-set steps around the load of a main nod: the file id or alias the nod is bound
// to, and the parameters the file id keeps afterwards.
#include "system/fid/SystemParamLoad.h"

#include "FidTestSupport.h"
#include "system/fid/SystemParamSet.h"
#include "tests/system/engine/EngineTestSupport.h"

#include <string>

namespace {

class SystemParamLoad : public CSystemFixture {
protected:
    void TearDown() override {
        EXPECT_EQ(GetParamSetDepth(), 0u);
        ClearParamSetStack();
        CSystemFixture::TearDown();
    }
};

const CMwId kNight(7);
const CMwId kSnow(8);
const u32 kRefBuffers[] = {0x01026000, 0xFFFFFFFF};
// The content class of the files loaded here.
constexpr u32 kContentClass = CSystemFid::s_ClassId;

// A nod that depends on the night value: its hook takes the value it was loaded with into the
// load set, as the asset classes do with the values they read.
class CNightNod : public CMwNod {
public:
    void ApplyParamSets(CSystemParamSet* current, CSystemParamSet* load) override {
        ++m_Hooks;
        m_Current = current;
        CSystemParamId night(kNight);
        if (current->GetParam(night))
            load->SetParam(night);
        if (m_ClearInherit)
            load->m_Inherit = 0;
    }

    u32 m_Hooks = 0;
    CSystemParamSet* m_Current = nullptr;
    bool m_ClearInherit = false;
};

// A record of the kind the completion passes on whole.
class CParamSetParam : public CSystemParam {
public:
    CParamSetParam() : CSystemParam(&g_SystemParamKindParamSet) {}
    bool IsEmpty() const override { return false; }
    CSystemParam* Clone() const override { return new CParamSetParam(*this); }
    void Compare(const CSystemParam& other, bool* equal, bool* differentKey) const override {
        *differentKey = other.m_Kind != m_Kind;
        *equal = !*differentKey;
    }

protected:
    CParamSetParam(const CParamSetParam&) = default;
};

// The records of a set: "P" for the ParamSet kind, "id=value" for the others; "+" when the set
// inherits.
std::string Describe(const CSystemParamSet& set) {
    std::string text = set.m_Inherit ? "+" : "";
    for (u32 i = 0; i < set.GetCount(); ++i) {
        const CSystemParam& record = *set.GetParamAt(i);
        text += " ";
        if (record.m_Kind == &g_SystemParamKindParamSet) {
            text += "P";
            continue;
        }
        const auto& id = static_cast<const CSystemParamId&>(record);
        text += std::to_string(id.m_Id.m_Value) + "=" + std::to_string(id.m_Value);
    }
    return text;
}

// Loads the file under a night value as an archive would: the nod bound for the set in force, or
// a new nod run through the two steps. The caller holds a reference on the nod it gets.
template <class Nod>
CMwNod* LoadUnder(CSystemFid& file, u32 night) {
    CSystemParamSet request;
    request.SetParam(CSystemParamId(kNight, night));
    CSystemParamStackScope scope;
    PushParamSet(&request, true);
    if (CMwNod* bound = file.GetNodFor(*CurrentParamSet())) {
        bound->AddRef();
        return bound;
    }
    CMwNod* nod = new Nod;
    nod->AddRef();
    CSystemParamLoad load;
    CSystemFid* fid = load.Prepare(&file, nod);
    EXPECT_NE(load.GetLoadParamSet(), nullptr);
    EXPECT_EQ(nod->GetFid(), fid);
    load.Complete(fid, nod);
    EXPECT_EQ(load.GetLoadParamSet(), nullptr);
    return nod;
}

TEST_F(SystemParamLoad, OtherValueMakesAnAliasThatLaterLoadsFind) {
    CEngineHost host;
    CNamedFolder folder(u"Solid");
    CFakeFidLinks links;
    CNamedFile file(u"Tree.Solid.Zun", &folder);
    file.m_ContentClassId = kContentClass;
    const u32 number = CSystemParamLoad::GetNextAliasNumber();

    CMwNod* first = LoadUnder<CNightNod>(file, 1);
    EXPECT_EQ(first->GetFid(), &file);
    EXPECT_EQ(Describe(file.m_ParamSet), "+ 7=1");

    CMwNod* second = LoadUnder<CNightNod>(file, 2);
    ASSERT_NE(second, first);
    ASSERT_EQ(file.m_Aliases.m_Count, 1u);
    CSystemFid* alias = file.m_Aliases.m_Items[0];
    EXPECT_EQ(second->GetFid(), alias);
    EXPECT_EQ(alias->m_Master, &file);
    ASSERT_TRUE(alias->IsKindOf(CSystemFidFile::s_ClassId));
    EXPECT_EQ(Narrow(static_cast<CSystemFidFile*>(alias)->m_FileName),
              "Tree.Solid.Zun?" + std::to_string(number));
    EXPECT_EQ(alias->m_Folder, &folder);
    EXPECT_EQ(folder.m_Leaves.m_Count, 2u);
    EXPECT_EQ(alias->GetLoader(), links.m_Loader);
    EXPECT_EQ(alias->m_ContentClassId, kContentClass);
    EXPECT_EQ(Describe(alias->m_ParamSet), "+ 7=2");
    EXPECT_EQ(Describe(file.m_ParamSet), "+ 7=1");

    // Each value finds its own nod again; nothing more is made.
    for (const u32 night : {1u, 2u, 1u}) {
        CMwNod* again = LoadUnder<CNightNod>(file, night);
        EXPECT_EQ(again, night == 1 ? first : second);
        again->Release();
    }
    EXPECT_EQ(folder.m_Leaves.m_Count, 2u);
    EXPECT_EQ(CSystemParamLoad::GetNextAliasNumber(), number + 1);

    // The nods go with their last references, and their file ids let them go.
    second->Release();
    EXPECT_EQ(alias->m_Nod, nullptr);
    EXPECT_TRUE(file.HasNodOrAliasNod());
    first->Release();
    EXPECT_FALSE(file.HasNodOrAliasNod());
    // The alias is the engine's, made in the folder tree.
    CSystemEngine::DeleteFid(alias);
    EXPECT_EQ(file.m_Aliases.m_Count, 0u);
    EXPECT_EQ(LeafNames(folder), (std::vector<std::string>{"Tree.Solid.Zun"}));
}

// A nod that does not depend on the value is shared by every load.
TEST_F(SystemParamLoad, ValueNoNodReadsMakesNoAlias) {
    CNamedFolder folder(u"Solid");
    CNamedFile file(u"Box.Solid.Zun", &folder, false);
    file.m_ContentClassId = kContentClass;
    CMwNod* first = LoadUnder<CMwNod>(file, 1);
    CMwNod* second = LoadUnder<CMwNod>(file, 2);
    EXPECT_EQ(first, second);
    EXPECT_EQ(file.m_Aliases.m_Count, 0u);
    EXPECT_EQ(Describe(file.m_ParamSet), "+");
    // The binding made the file id a leaf of its folder.
    EXPECT_EQ(folder.m_Leaves.m_Count, 1u);
    first->Release();
    second->Release();
}

// Without a System engine no alias can be made.
TEST_F(SystemParamLoad, WithoutAnAliasTheFileTakesTheLoad) {
    CNamedFile file(u"Tree.Solid.Zun");
    file.m_ContentClassId = kContentClass;
    file.m_ParamSet.SetParam(CSystemParamId(kNight, 1));
    CSystemParamSet request;
    request.SetParam(CSystemParamId(kNight, 2));
    PushParamSet(&request, false);
    CLogWatch log;
    CMwNod nod;
    CSystemParamLoad load;
    EXPECT_EQ(load.Prepare(&file, &nod), &file);
    EXPECT_NE(log.Since().find("[Sys] No alias file id \"Tree.Solid.Zun?"), std::string::npos)
        << log.Since();
    EXPECT_EQ(file.m_Nod, &nod);
    load.Complete(&file, &nod);
    PopParamSet();
}

TEST_F(SystemParamLoad, Completion) {
    CSystemParamSet current;
    current.SetParam(CSystemParamId(kNight, 1));
    CSystemParamId snow(kSnow, 2);
    snow.m_ClassFilter = kRefBuffers;
    current.SetParam(snow);
    current.SetParam(CParamSetParam());
    CSystemParamStackScope scope;
    PushParamSet(&current, false);

    struct Case {
        const char* What;
        u32 RefFlags;
        bool UseFileRefBuffers;
        bool ClearInherit;
        const char* Kept;
    };
    const Case cases[] = {
        // Not a file: no load set, the default set.
        {"memory image", kSystemFidRefMemory, false, false, "+"},
        {"resource-local file", kSystemFidRefFile | kSystemFidRefResourceLocal, false, false, "+"},
        // The ParamSet record and what the hook took.
        {"file", kSystemFidRefFile, false, false, "+ P 7=1"},
        // Without inheriting, the current records for the class come in.
        {"file not inheriting", kSystemFidRefFile, false, true, " P 7=1"},
        // Use-file classes: their records come in, and the set no longer inherits; compacting
        // for the content class leaves out those of the other class.
        {"file with use-file references", kSystemFidRefFile, true, false, " P 7=1"},
    };
    for (const Case& c : cases) {
        CNamedFile file(u"Tree.Solid.Zun");
        file.m_RefFlags = c.RefFlags;
        file.m_ContentClassId = kContentClass;
        file.m_ParamSet.SetParam(CSystemParamId(CMwId(9), 9));
        auto* nod = new CNightNod;
        nod->AddRef();
        nod->m_ClearInherit = c.ClearInherit;
        CSystemParamLoad load;
        if (c.UseFileRefBuffers) {
            load.AddUseFileClass(0x01026000);
            load.AddUseFileClass(0x01026000);
            EXPECT_EQ(load.GetUseFileClasses().m_Count, 1u);
        }
        EXPECT_EQ(load.Prepare(&file, nod), &file) << c.What;
        EXPECT_EQ(load.GetLoadParamSet() != nullptr, c.RefFlags == kSystemFidRefFile) << c.What;
        load.Complete(&file, nod);
        EXPECT_EQ(Describe(file.m_ParamSet), c.Kept) << c.What;
        EXPECT_EQ(nod->m_Hooks, c.RefFlags == kSystemFidRefFile ? 1u : 0u) << c.What;
        if (nod->m_Hooks) {
            EXPECT_EQ(nod->m_Current, CurrentParamSet());
        }
        nod->Release();
    }
}

} // namespace
