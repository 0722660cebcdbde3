// The IPv4 address value: its text scan, its names through a stub resolver, its text and its
// archive forms (Python's ipaddress as the oracle of the dotted form).
#include "net/socket/NetAddress.h"

#include "NetTestSupport.h"
#include "core/base/ClassicBuffer.h"
#include "platform/HostResolve.h"

#include <sstream>
#include <vector>

namespace {

std::vector<std::string> s_Asked;

// Knows one name: upd.test has two addresses, the second given twice.
bool StubResolver(const char* name, std::vector<u32>& out) {
    s_Asked.push_back(name);
    if (std::string(name) != "upd.test")
        return false;
    out = {0x0A010203, 0x0A090909};
    return true;
}

class NetAddress : public ::testing::Test {
protected:
    void SetUp() override {
        s_Asked.clear();
        m_Previous = platform::SetHostResolver(&StubResolver);
    }
    void TearDown() override { platform::SetHostResolver(m_Previous); }

private:
    platform::HostResolver m_Previous = nullptr;
};

std::string Text(const CNetAddress& address, bool withPort) {
    CClassicString out;
    address.ToText(out, withPort);
    return out.GetText();
}

TEST_F(NetAddress, FromTextTable) {
    struct Case {
        const char* Text;
        const char* Address; // with its port
        bool LookedUp;
    };
    const Case cases[] = {
        {"1.2.3.4", "1.2.3.4", false},
        {"1.2.3.4:2350", "1.2.3.4:2350", false},
        {"1.2.3.4:0", "1.2.3.4", false},
        {"255.255.255.255:65535", "255.255.255.255:65535", false},
        {" 1. 2.\t3.\n4: 80", "1.2.3.4:80", false},
        {"+1.+2.3.4", "1.2.3.4", false},
        {"1.2.3.4xyz", "1.2.3.4", false},
        {"1.2.3.4:80abc", "1.2.3.4:80", false},
        {"1.2.3.4:", "1.2.3.4", false},
        {"1.2.3.4 :80", "1.2.3.4", false},
        {"300.1.1.1", "0.0.0.0", true},
        {"1.2.3.4:70000", "0.0.0.0", true},
        {"-1.2.3.4", "0.0.0.0", true},
        {"1.2.3.4:-1", "0.0.0.0", true},
        {"99999999999.1.1.1", "0.0.0.0", true},
        {"1 .2.3.4", "0.0.0.0", true},
        {"1.2.3", "0.0.0.0", true},
        {"", "0.0.0.0", true},
        {"upd.test", "10.1.2.3", true},
        // A name with a port is looked up whole, and fails.
        {"upd.test:80", "0.0.0.0", true},
    };
    for (const Case& c : cases) {
        s_Asked.clear();
        const CNetAddress address = CNetAddress::FromText(CClassicString(c.Text));
        EXPECT_EQ(Text(address, true), c.Address) << '"' << c.Text << '"';
        EXPECT_EQ(address.m_Family, 2u);
        EXPECT_EQ(s_Asked.size(), c.LookedUp ? 1u : 0u) << c.Text;
        // The dotted forms alone, without a lookup.
        CNetAddress dotted;
        dotted.SetAddress(0x01010101);
        dotted.SetPort(7);
        EXPECT_EQ(CNetAddress::FromDottedText(CClassicString(c.Text), dotted), !c.LookedUp)
            << c.Text;
        EXPECT_EQ(Text(dotted, true), c.LookedUp ? "1.1.1.1:7" : c.Address) << c.Text;
        if (c.LookedUp && !s_Asked.empty()) {
            EXPECT_EQ(s_Asked[0], c.Text);
        }
    }
}

TEST_F(NetAddress, ResolveKeepsTheOrder) {
    CFastBuffer<CNetAddress> found;
    CNetAddress kept;
    kept.SetAddress(7);
    found.Add(kept);
    EXPECT_FALSE(ResolveHostName(CClassicString("nowhere.test"), found));
    ASSERT_EQ(found.m_Count, 1u);
    EXPECT_EQ(found.m_Items[0].GetAddress(), 7u);
    EXPECT_TRUE(ResolveHostName(CClassicString("upd.test"), found));
    ASSERT_EQ(found.m_Count, 2u);
    EXPECT_EQ(Text(found.m_Items[0], true), "10.1.2.3");
    EXPECT_EQ(Text(found.m_Items[1], true), "10.9.9.9");
    found.FreeItems();
}

TEST_F(NetAddress, ToTextAgainstPython) {
    const u32 values[] = {0,          1,          0x7F000001, 0x0A010203, 0xC0A80001,
                          0xFFFFFFFF, 0x01020304, 0x80000000, 0x00FF00FF};
    std::string input;
    for (u32 v : values)
        input += std::to_string(v) + "\n";
    std::istringstream oracle(RunPython("import sys, ipaddress\n"
                                        "for line in sys.stdin.read().split():\n"
                                        "    print(ipaddress.IPv4Address(int(line)))\n",
                                        input));
    for (u32 v : values) {
        std::string expected;
        std::getline(oracle, expected);
        CNetAddress address;
        address.SetAddress(v);
        address.SetPort(2350);
        EXPECT_EQ(Text(address, false), expected);
        EXPECT_EQ(Text(address, true), expected + ":2350");
        address.SetPort(0);
        EXPECT_EQ(Text(address, true), expected);
        // The dotted text reads back.
        EXPECT_EQ(CNetAddress::FromText(CClassicString(expected.c_str())).GetAddress(), v);
    }
    EXPECT_TRUE(s_Asked.empty());
}

TEST_F(NetAddress, NetworkOrderLayout) {
    const CNetAddress address = CNetAddress::FromText(CClassicString("1.2.3.4:2350"));
    u8 bytes[16];
    std::memcpy(bytes, &address, 16);
    const u8 expected[16] = {2, 0, 0x09, 0x2E, 1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(bytes, expected, 16), 0);
}

std::string Archived(CNetAddress& address, bool text) {
    CClassicArchive archive;
    auto* memory = new CClassicBufferMemory;
    archive.SetBuffer(memory);
    archive.m_Writing = 1;
    archive.m_Text = text;
    address.Archive(archive);
    return std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize());
}

CNetAddress ReadBack(const std::string& bytes, bool text) {
    CClassicArchive archive;
    auto* memory = new CClassicBufferMemory;
    archive.SetBuffer(memory);
    memory->Write(bytes.data(), u32(bytes.size()));
    memory->Rewind();
    archive.m_Text = text;
    CNetAddress address;
    address.m_Family = 0;
    address.m_Zero[0] = 0x55;
    address.Archive(archive);
    return address;
}

TEST_F(NetAddress, ArchiveBothForms) {
    CNetAddress address = CNetAddress::FromText(CClassicString("1.2.3.4:2350"));
    const std::string binary = Archived(address, false);
    EXPECT_EQ(binary, std::string("\x04\x03\x02\x01\x2E\x09", 6));
    const std::string text = Archived(address, true);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
    for (bool inText : {false, true}) {
        const CNetAddress back = ReadBack(inText ? text : binary, inText);
        EXPECT_EQ(Text(back, true), "1.2.3.4:2350") << inText;
        EXPECT_EQ(back.m_Family, 2u);
        EXPECT_EQ(back.m_Zero[0], 0x55) << "the padding is left as it was";
    }
}

} // namespace
