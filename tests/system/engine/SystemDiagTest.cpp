// The diagnostic prefix (indentation and pending context lines) and the one-line description of
// a nod pointer.
#include "system/engine/SystemDiag.h"

#include "../fid/FidTestSupport.h"
#include "core/nod/MwDiag.h"
#include "core/nod/MwId.h"

#include <cinttypes>
#include <cstdio>
#include <string>

namespace {

class SystemDiag : public CSystemFixture {};

// A nod with a name id.
class CNamedNod : public CMwNod {
public:
    CMwId* GetIdPtr() override { return &m_Id; }
    CMwId m_Id;
};

std::string ToStdString(const CClassicString& text) {
    return std::string(text.GetText(), text.GetLength());
}

std::string Prefix() {
    CClassicString out("<");
    DiagWritePrefix(out);
    return ToStdString(out);
}

std::string Address(const void* pointer) {
    char text[40];
    std::snprintf(text, sizeof text, "0x%08" PRIXPTR, reinterpret_cast<uintptr_t>(pointer));
    return text;
}

TEST_F(SystemDiag, ThePrefixWritesPendingContextsOnceThenTheIndentation) {
    EXPECT_EQ(Prefix(), "<\r\n");
    DiagPushContext("Context");
    DiagIndentIn();
    EXPECT_EQ(Prefix(), "<\r\nContext\r\n   ");
    EXPECT_EQ(Prefix(), "<\r\n   ");
    // A context pushed deeper carries the indentation of its time; written, the ones before stay
    // listed until popped but are not written again.
    DiagPushContext("Inner");
    DiagIndentIn();
    EXPECT_EQ(Prefix(), "<\r\nContext\r\n   Inner\r\n      ");
    EXPECT_EQ(Prefix(), "<\r\n      ");
    DiagPopContext();
    DiagIndentOut();
    DiagPopContext();
    DiagIndentOut();
    // Below the start nothing is removed, and popping nothing changes nothing.
    DiagIndentOut();
    DiagPopContext();
    EXPECT_EQ(Prefix(), "<\r\n");
    // A pop leaves the pending flag set only while contexts remain.
    DiagPushContext("A");
    DiagPushContext("B");
    DiagPopContext();
    EXPECT_EQ(Prefix(), "<\r\nA\r\n");
    DiagPushContext("C");
    DiagPopContext();
    DiagPopContext();
    EXPECT_EQ(Prefix(), "<\r\n");
}

TEST_F(SystemDiag, NodsAreDescribedByFileNameOrInvalidPointer) {
    CNamedNod plain;
    CNamedNod named;
    named.m_Id.SetFromName("Wheel");
    CNamedNod numbered;
    numbered.m_Id = CMwId(12);
    // Bound to a file: described by its path even with a name; characters above 254 become '_'.
    CNamedNod loaded;
    loaded.m_Id.SetFromName("Ignored");
    CSystemFidFile file;
    file.SetFileName(u"Z:\\Donn\u00E9es\\\u0100\u00FF\u00FEuto.Solid.Zun");
    file.SetNod(&loaded);
    // A nod bound to a file id that is no file is described as the others are.
    CNamedNod inMemory;
    inMemory.m_Id.SetFromName("Memory");
    CSystemFidMemory memory;
    memory.SetNod(&inMemory);
    // Pointers the registry of live nods does not know are never read.
    auto* gone = new CNamedNod;
    delete gone;
    const void* made = reinterpret_cast<const void*>(uintptr_t(0x123456789ABCDEF0));

    struct SCase {
        const void* Nod;
        i32 Result;
        std::string Text;
    };
    const SCase cases[] = {
        {nullptr, 0, "!! Invalid Nod pointer=0x00000000"},
        {made, 0, "!! Invalid Nod pointer=0x123456789ABCDEF0"},
        {reinterpret_cast<const void*>(uintptr_t(0xBEEF)), 0, "!! Invalid Nod pointer=0x0000BEEF"},
        {gone, 0, "!! Invalid Nod pointer=" + Address(gone)},
        {&loaded, 1,
         "Nod=Z:\\Donn\xE9"
         "es\\__\xFE"
         "uto.Solid.Zun"},
        {&named, 1, "Nod MwId=Wheel"},
        {&numbered, 1, "Nod MwId=Id12"},
        {&inMemory, 1, "Nod MwId=Memory"},
        {&plain, 1, ""},
    };
    for (const SCase& c : cases) {
        for (const bool withPrefix : {false, true}) {
            CClassicString out("<");
            EXPECT_EQ(DiagDescribeNod(out, "Nod", static_cast<const CMwNod*>(c.Nod), withPrefix),
                      c.Result);
            const std::string prefix = withPrefix && !c.Text.empty() ? "\r\n" : "";
            EXPECT_EQ(ToStdString(out), "<" + prefix + c.Text) << c.Text;
        }
    }
}

} // namespace
