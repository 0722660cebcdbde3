// Reference counting with dependants, destruction, observers, names and validity of nods.
#include "core/nod/MwNod.h"

#include "CoreTestSupport.h"
#include "core/nod/MwMemberPath.h"

#include <algorithm>
#include <cinttypes>
#include <gtest/gtest.h>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

using Events = std::vector<std::string>;

// A nod that writes what happens to it into a shared event list.
class CTraceNod : public CMwNod {
public:
    // Root: the root answer. Passive: nothing. RemoveAllThenRoot: removes m_Others first.
    // HoldThenRoot: the root answer inside a temporary reference of its own. LetGoHolding: takes
    // a temporary reference, removes itself and drops the reference. DeleteNod: deletes the nod,
    // as an owner would.
    enum EOnReleased { Root, Passive, RemoveAllThenRoot, HoldThenRoot, LetGoHolding, DeleteNod };

    CTraceNod(std::string name, Events* events, EOnReleased onReleased = Root)
        : m_Name(std::move(name)), m_Events(events), m_OnReleased(onReleased) {}
    ~CTraceNod() override { m_Events->push_back("deleted " + m_Name); }

    void OnDependencyReleased(CMwNod* nod) override {
        m_Events->push_back("released " + m_Name);
        switch (m_OnReleased) {
            case Passive:
                return;
            case RemoveAllThenRoot:
                for (CMwNod* other : m_Others)
                    nod->RemoveDependantAndRelease(other);
                break;
            case HoldThenRoot:
                nod->AddRef();
                CMwNod::OnDependencyReleased(nod);
                nod->Release();
                return;
            case LetGoHolding:
                nod->AddRef();
                nod->RemoveDependant(this);
                nod->Release();
                return;
            case DeleteNod:
                delete nod;
                return;
            case Root:
                break;
        }
        CMwNod::OnDependencyReleased(nod);
    }
    void OnDependencyDestroyed(CMwNod* nod) override {
        m_Events->push_back("destroyed " + m_Name);
        nod->RemoveDependant(this); // already forgotten by the nod: must be harmless
        if (m_AddOnDestroyed)
            nod->AddDependant(m_AddOnDestroyed);
    }
    void OnMessage(u32* messageId, CMwNod*, u32 parameter) override {
        m_Events->push_back(m_Name + " message " + std::to_string(*messageId) + " " +
                            std::to_string(parameter));
        for (CMwNod* other : m_Others)
            m_Subject->RemoveObserver(other);
    }

    std::string m_Name;
    Events* m_Events;
    EOnReleased m_OnReleased;
    std::vector<CMwNod*> m_Others;
    CMwNod* m_AddOnDestroyed = nullptr;
    CMwNod* m_Subject = nullptr;
};

class CNamedNod : public CMwNod {
public:
    CMwId* GetIdPtr() override { return &m_Id; }
    CMwId m_Id;
};

class CUnsetClassNod : public CMwNod {
public:
    u32 GetClassId() override { return s_NoClassId; }
};

class MwNod : public CMwCoreFixture {};

// The release protocol: which dependants are asked to let go, in which order, and when the nod
// goes.
TEST_F(MwNod, ReleaseAtZeroAsksTheDependants) {
    struct Case {
        const char* name;
        std::vector<CTraceNod::EOnReleased> dependants;
        Events expected;
    };
    const Case cases[] = {
        {"no dependant", {}, {"deleted nod"}},
        {"one", {CTraceNod::Root}, {"released d0", "deleted nod"}},
        // Each removal moves the last entry forward, so the calls go 0, 2, 1.
        {"three",
         {CTraceNod::Root, CTraceNod::Root, CTraceNod::Root},
         {"released d0", "released d2", "released d1", "deleted nod"}},
        {"two passive", {CTraceNod::Passive, CTraceNod::Passive}, {"released d0", "released d1"}},
        // A count of 0 reached again while the pass runs (a temporary reference dropped) only
        // marks the nod: the pass deletes it once it is over, and asks nobody twice.
        {"one holding a reference", {CTraceNod::HoldThenRoot}, {"released d0", "deleted nod"}},
        {"the last lets go holding a reference",
         {CTraceNod::Root, CTraceNod::LetGoHolding, CTraceNod::Root},
         {"released d0", "released d2", "released d1", "deleted nod"}},
        {"one lets go holding a reference",
         {CTraceNod::LetGoHolding},
         {"released d0", "deleted nod"}},
        {"holding a reference, a passive one left",
         {CTraceNod::HoldThenRoot, CTraceNod::Passive},
         {"released d0", "released d1"}},
        // An owner deletes the nod: the pass stops there, the destructor tells who is left.
        {"one deletes the nod",
         {CTraceNod::DeleteNod},
         {"released d0", "deleted nod", "destroyed d0"}},
        {"the first of three deletes the nod",
         {CTraceNod::DeleteNod, CTraceNod::Passive, CTraceNod::Passive},
         {"released d0", "deleted nod", "destroyed d0", "destroyed d1", "destroyed d2"}},
        {"the last of two deletes the nod",
         {CTraceNod::Root, CTraceNod::DeleteNod},
         {"released d0", "released d1", "deleted nod", "destroyed d1"}},
    };
    for (const Case& c : cases) {
        Events events;
        std::vector<std::unique_ptr<CTraceNod>> dependants;
        CTraceNod* nod = new CTraceNod("nod", &events);
        for (size_t i = 0; i < c.dependants.size(); ++i) {
            dependants.push_back(
                std::make_unique<CTraceNod>("d" + std::to_string(i), &events, c.dependants[i]));
            nod->AddDependant(dependants.back().get());
        }
        EXPECT_EQ(nod->AddRef(), 1);
        EXPECT_EQ(nod->Release(), 0);
        EXPECT_EQ(events, c.expected) << c.name;
        if (std::find(events.begin(), events.end(), "deleted nod") == events.end()) {
            // Survivors with count 0 go when their last dependant is removed.
            EXPECT_TRUE(CMwNod::IsValidNod(nod));
            nod->RemoveDependantAndRelease(dependants[0].get());
            EXPECT_TRUE(CMwNod::IsValidNod(nod));
            nod->RemoveDependantAndRelease(dependants[1].get());
            EXPECT_FALSE(CMwNod::IsValidNod(nod));
            EXPECT_EQ(events.back(), "deleted nod");
        }
    }
}

// Holds keep a nod alive without a count or a dependant: a release to 0 and the last
// dependant's letting go leave it, the last hold let go with release deletes it, a hold let go
// without leaves it, and a held nod deleted directly calls the hook.
Events* g_HeldEvents = nullptr;

TEST_F(MwNod, HoldsKeepANodWithoutACount) {
    enum EStep { Hold, AddRef, Release, LetGoHold, LeaveHold, AddDependant, DeleteDirectly };
    struct Case {
        const char* name;
        std::vector<EStep> steps;
        Events expected;
    };
    const Case cases[] = {
        {"a release to 0", {Hold, AddRef, Release}, {}},
        {"the hold let go", {Hold, AddRef, Release, LetGoHold}, {"deleted nod"}},
        {"the hold let go, then the release", {Hold, AddRef, LetGoHold, Release}, {"deleted nod"}},
        {"two holds", {Hold, Hold, LetGoHold}, {}},
        {"two holds let go", {Hold, Hold, LetGoHold, LetGoHold}, {"deleted nod"}},
        // The dependant is asked to let go at 0 and does: the hold keeps the nod.
        {"a dependant", {Hold, AddDependant, AddRef, Release}, {"released d"}},
        {"a dependant, the hold let go",
         {Hold, AddDependant, AddRef, Release, LetGoHold},
         {"released d", "deleted nod"}},
        {"the hold left", {Hold, LeaveHold}, {}},
        {"deleted while held", {Hold, DeleteDirectly}, {"deleted nod", "hook"}},
        {"deleted after the hold was left", {Hold, LeaveHold, DeleteDirectly}, {"deleted nod"}},
    };
    CMwNod::SetHeldNodDestroyedHook([](CMwNod*) { g_HeldEvents->push_back("hook"); });
    for (const Case& c : cases) {
        Events events;
        g_HeldEvents = &events;
        CTraceNod dependant("d", &events);
        CTraceNod* nod = new CTraceNod("nod", &events);
        for (EStep step : c.steps) {
            switch (step) {
                case Hold:
                    nod->AddHold();
                    break;
                case AddRef:
                    nod->AddRef();
                    break;
                case Release:
                    nod->Release();
                    break;
                case LetGoHold:
                    nod->RemoveHoldAndRelease();
                    break;
                case LeaveHold:
                    nod->RemoveHold();
                    break;
                case AddDependant:
                    nod->AddDependant(&dependant);
                    break;
                case DeleteDirectly:
                    delete nod;
                    break;
            }
        }
        EXPECT_EQ(events, c.expected) << c.name;
        if (std::find(events.begin(), events.end(), "deleted nod") == events.end()) {
            EXPECT_TRUE(CMwNod::IsValidNod(nod)) << c.name;
            delete nod;
        }
    }
    CMwNod::SetHeldNodDestroyedHook(nullptr);
    g_HeldEvents = nullptr;
}

// The registry of live nods counts what the constructors and destructors tell it.
TEST_F(MwNod, LiveNodCount) {
    const u32 before = CMwNod::GetLiveNodCount();
    std::vector<std::unique_ptr<CMwNod>> nods;
    for (u32 i = 1; i <= 100; ++i) {
        nods.push_back(std::make_unique<CMwNod>());
        EXPECT_EQ(CMwNod::GetLiveNodCount(), before + i);
    }
    nods.erase(nods.begin() + 10, nods.begin() + 60);
    EXPECT_EQ(CMwNod::GetLiveNodCount(), before + 50);
    nods.clear();
    EXPECT_EQ(CMwNod::GetLiveNodCount(), before);
}

// A dependant that removes the others while the release pass runs must not make the pass read a
// deleted nod: the nod goes once the pass is over.
TEST_F(MwNod, DependantRemovingOthersDuringReleaseIsSafe) {
    Events events;
    CTraceNod* nod = new CTraceNod("nod", &events);
    CTraceNod first("d0", &events, CTraceNod::RemoveAllThenRoot);
    CTraceNod second("d1", &events), third("d2", &events);
    first.m_Others = {&second, &third};
    for (CMwNod* d : {static_cast<CMwNod*>(&first), static_cast<CMwNod*>(&second),
                      static_cast<CMwNod*>(&third)})
        nod->AddDependant(d);
    nod->AddRef();
    EXPECT_EQ(nod->Release(), 0);
    EXPECT_EQ(events, (Events{"released d0", "deleted nod"}));
}

TEST_F(MwNod, DestructionTellsEveryDependantOnceIncludingLateOnes) {
    Events events;
    CTraceNod late("late", &events);
    CTraceNod d0("d0", &events), d1("d1", &events), d2("d2", &events);
    d1.m_AddOnDestroyed = &late;
    CTraceNod* nod = new CTraceNod("nod", &events);
    nod->AddDependant(&d0);
    nod->AddDependant(&d1);
    nod->AddDependant(&d2);
    delete nod;
    EXPECT_EQ(events, (Events{"deleted nod", "destroyed d0", "destroyed d1", "destroyed d2",
                              "destroyed late"}));
}

TEST_F(MwNod, ReleaseBelowZeroDeletesNothing) {
    Events events;
    CTraceNod nod("nod", &events);
    EXPECT_EQ(nod.Release(), -1);
    EXPECT_TRUE(events.empty());
}

TEST_F(MwNod, ObserversAreToldInOrderAndMayRemoveObservers) {
    Events events;
    CTraceNod subject("subject", &events);
    CTraceNod a("a", &events), b("b", &events), c("c", &events);
    for (CTraceNod* o : {&a, &b, &c}) {
        o->m_Subject = &subject;
        subject.AddObserver(o);
    }
    subject.NotifyObservers(0x09002000, 7);
    EXPECT_EQ(events,
              (Events{"a message 151003136 7", "b message 151003136 7", "c message 151003136 7"}));

    // The first observer removes every observer, which frees the list under the loop.
    events.clear();
    a.m_Others = {&a, &b, &c};
    subject.NotifyObservers(1, 2);
    EXPECT_EQ(events, (Events{"a message 1 2"}));
    EXPECT_EQ(subject.GetObserverCount(), 0u);
    subject.RemoveObserver(&a); // not an observer any more: nothing happens
}

TEST_F(MwNod, CopiesStartAsNewNods) {
    Events events;
    CTraceNod a("a", &events), b("b", &events);
    CTraceNod dependant("d", &events);
    a.AddRef();
    a.AddDependant(&dependant);
    CTraceNod copy(a);
    EXPECT_EQ(copy.GetRefCount(), 0);
    EXPECT_EQ(copy.GetDependantCount(), 0u);
    b = a; // the nod part is not assigned: b keeps its own count and lists
    EXPECT_EQ(b.GetRefCount(), 0);
    EXPECT_EQ(b.GetDependantCount(), 0u);
    EXPECT_EQ(a.GetDependantCount(), 1u);
    a.RemoveDependant(&dependant);
}

TEST_F(MwNod, NodRefHoldsOneReferencePerHolder) {
    Events events;
    CTraceNod* nod = new CTraceNod("nod", &events);
    {
        CMwNodRef first(nod);
        CMwNodRef second = first;
        EXPECT_EQ(nod->GetRefCount(), 2);
        CMwNodRef& same = second;
        second = same; // assigning a holder to itself keeps its one reference
        EXPECT_EQ(nod->GetRefCount(), 2);
        second.Set(nullptr);
        EXPECT_EQ(nod->GetRefCount(), 1);
        second = first;
        EXPECT_EQ(nod->GetRefCount(), 2);
    }
    EXPECT_EQ(events, (Events{"deleted nod"}));
}

// A move hands the one reference over: the count stays, the source holds nothing, and a holder
// moved onto gives back what it held.
TEST_F(MwNod, NodRefMovesItsReference) {
    Events events;
    CTraceNod* nod = new CTraceNod("nod", &events);
    CTraceNod* other = new CTraceNod("other", &events);
    {
        CMwNodRef first(nod);
        CMwNodRef moved(std::move(first));
        EXPECT_EQ(nod->GetRefCount(), 1);
        EXPECT_EQ(first.Get(), nullptr);
        EXPECT_EQ(moved.Get(), nod);
        CMwNodRef& same = moved;
        moved = std::move(same); // moving a holder onto itself keeps its reference
        EXPECT_EQ(nod->GetRefCount(), 1);
        CMwNodRef target(other);
        target = std::move(moved);
        EXPECT_EQ(events, (Events{"deleted other"}));
        EXPECT_EQ(nod->GetRefCount(), 1);
        // Holders in a growing array keep one reference each.
        std::vector<CMwNodRef> holders;
        for (int i = 0; i < 100; ++i)
            holders.emplace_back(nod);
        EXPECT_EQ(nod->GetRefCount(), 101);
        holders.erase(holders.begin(), holders.begin() + 40);
        EXPECT_EQ(nod->GetRefCount(), 61);
    }
    EXPECT_EQ(events, (Events{"deleted other", "deleted nod"}));
}

TEST_F(MwNod, SetIdNameAndTheIdNameMember) {
    struct Case {
        const char* text;
        const char* expected;
        bool isName;
    };
    const Case cases[] = {{"Unassigned", "Unassigned", false},
                          {"", "Unassigned", false},
                          {nullptr, "Unassigned", false},
                          {"unassigned", "unassigned", true},
                          {"Car", "Car", true}};
    CMwMemberInfo* idName = CMwClassRegistry::GetMemberInfo(CMwNod::s_IdNameMemberId);
    ASSERT_NE(idName, nullptr);
    for (const Case& c : cases) {
        CNamedNod nod;
        nod.SetIdName(c.text);
        EXPECT_EQ(nod.m_Id.IsName(), c.isName) << (c.text ? c.text : "null");

        CMwMemberPath path(1);
        path.PushFront(reinterpret_cast<MwPathValue>(idName));
        path.Reset();
        CMwParamValue value;
        EXPECT_EQ(nod.GetParamVirtual(&path, &value), 0u);
        EXPECT_STREQ(static_cast<CClassicString*>(value.Value)->GetText(), c.expected);
    }

    CNamedNod numbered;
    numbered.m_Id = CMwId::FromValue(5);
    CMwMemberPath path(1);
    path.PushFront(reinterpret_cast<MwPathValue>(idName));
    path.Reset();
    CMwParamValue value;
    EXPECT_EQ(numbered.GetParamVirtual(&path, &value), 0u);
    EXPECT_STREQ(static_cast<CClassicString*>(value.Value)->GetText(), "Id5");

    // Writing the member sets the name; a nod without name id reads an empty text.
    const CClassicString bob("Bob");
    path.Reset();
    EXPECT_EQ(numbered.SetParamVirtual(&path, &bob), 0u);
    EXPECT_STREQ(numbered.m_Id.GetChars(), "Bob");
    CMwNod plain;
    plain.SetIdName("ignored");
    path.Reset();
    EXPECT_EQ(plain.GetParamVirtual(&path, &value), 0u);
    EXPECT_STREQ(static_cast<CClassicString*>(value.Value)->GetText(), "");
}

TEST_F(MwNod, IsValidNodAnswersFromTheLiveNods) {
    EXPECT_FALSE(CMwNod::IsValidNod(nullptr));
    CMwNod* nod = new CMwNod;
    EXPECT_TRUE(CMwNod::IsValidNod(nod));
    const uintptr_t address = reinterpret_cast<uintptr_t>(nod);
    nod->AddRef();
    nod->Release();
    EXPECT_FALSE(CMwNod::IsValidNod(reinterpret_cast<CMwNod*>(address)));
    CUnsetClassNod unset;
    EXPECT_FALSE(CMwNod::IsValidNod(&unset));
    // Many nods at once exercise the registry's growth and deletion.
    std::vector<std::unique_ptr<CMwNod>> many;
    for (int i = 0; i < 1000; ++i)
        many.push_back(std::make_unique<CMwNod>());
    for (int i = 0; i < 1000; i += 2)
        many[i].reset();
    for (int i = 0; i < 1000; ++i)
        EXPECT_EQ(CMwNod::IsValidNod(many[i].get()), i % 2 == 1);
}

// Nods side by side in one block: the registry knows each address it was told, and nothing
// between them, inside them or next to them.
TEST_F(MwNod, IsValidNodKnowsEachNodOfABlock) {
    const u32 before = CMwNod::GetLiveNodCount();
    constexpr u32 kCount = 400; // several memory pages
    constexpr size_t kSize = sizeof(CMwNod);
    static_assert(alignof(CMwNod) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
    std::unique_ptr<u8[]> block(new u8[kCount * kSize]);
    std::vector<CMwNod*> nods;
    for (u32 i = 0; i < kCount; ++i)
        nods.push_back(new (block.get() + i * kSize) CMwNod);
    EXPECT_EQ(CMwNod::GetLiveNodCount(), before + kCount);
    const auto at = [](const CMwNod* nod, size_t offset) {
        return reinterpret_cast<const CMwNod*>(reinterpret_cast<const u8*>(nod) + offset);
    };
    for (u32 i = 0; i < kCount; i += 3)
        nods[i]->~CMwNod();
    for (u32 i = 0; i < kCount; ++i) {
        EXPECT_EQ(CMwNod::IsValidNod(nods[i]), i % 3 != 0) << i;
        for (size_t offset : {size_t(1), size_t(4), size_t(8), kSize - 8})
            EXPECT_FALSE(CMwNod::IsValidNod(at(nods[i], offset))) << i << '+' << offset;
    }
    EXPECT_FALSE(CMwNod::IsValidNod(at(nods.back(), kSize)));
    // New nods in the freed places are known again.
    for (u32 i = 0; i < kCount; i += 3)
        new (nods[i]) CMwNod;
    for (u32 i = 0; i < kCount; ++i)
        EXPECT_TRUE(CMwNod::IsValidNod(nods[i])) << i;
    for (CMwNod* nod : nods)
        nod->~CMwNod();
    EXPECT_EQ(CMwNod::GetLiveNodCount(), before);
    for (CMwNod* nod : nods)
        EXPECT_FALSE(CMwNod::IsValidNod(nod));
}

TEST_F(MwNod, DescribeNamesTheClassAndAddress) {
    CMwNod nod;
    CClassicString text("x");
    EXPECT_EQ(nod.Describe(text), 1);
    char expected[64];
    std::snprintf(expected, sizeof expected, "x\r\nCMwNod(0x%08" PRIXPTR ")",
                  reinterpret_cast<uintptr_t>(&nod));
    EXPECT_STREQ(text.GetText(), expected);
    CUnsetClassNod unset;
    CClassicString none;
    EXPECT_EQ(unset.Describe(none), 0);
    EXPECT_EQ(none.GetLength(), 0u);
}

TEST_F(MwNod, RootIdentityAndEnumerations) {
    CMwNod nod;
    EXPECT_EQ(nod.GetClassId(), 0x01001000u);
    EXPECT_TRUE(nod.IsKindOf(0x01001000));
    EXPECT_FALSE(nod.IsKindOf(0x01003000));
    EXPECT_EQ(nod.MemberCount(), 1u);
    EXPECT_EQ(nod.MemberIdByIndex(0), 0x01001000u);
    EXPECT_EQ(nod.ChunkCount(), 1u);
    EXPECT_EQ(nod.ChunkIdByIndex(0), 0x01001000u);
    EXPECT_EQ(nod.GetChunkInfo(0x01001000), 1u);
    EXPECT_EQ(nod.GetChunkInfo(0x01001001), 0xFACADE01u);
    EXPECT_EQ(nod.HeaderChunkCount(), 0u);
    EXPECT_EQ(nod.AuxMemberCount(), 0u);
    EXPECT_EQ(nod.HeaderChunkIdByIndex(2), 0x01001002u);
}

} // namespace
