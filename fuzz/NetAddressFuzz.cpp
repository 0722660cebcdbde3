// Fuzzes CNetAddress::FromText with the resolver stubbed, against the C library's scan of
// "%d.%d.%d.%d:%d" on every input whose numbers fit in an int (the scan's result is undefined
// past that): the same fields give the same address and port, and everything else goes to the
// resolver whole and reads 0.0.0.0:0. Text and archive forms read back.
#include "FuzzCheck.h"
#include "core/base/ClassicBuffer.h"
#include "net/socket/NetAddress.h"
#include "platform/HostResolve.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string s_Asked;
int s_Lookups = 0;

bool Stub(const char* name, std::vector<u32>&) {
    s_Asked = name;
    ++s_Lookups;
    return false;
}

// Whether every run of digits up to the first NUL fits in an int.
bool NumbersFit(const std::string& text) {
    u64 value = 0;
    bool inRun = false;
    for (char c : text) {
        if (c == 0)
            break;
        if (c >= '0' && c <= '9') {
            value = inRun ? value * 10 + u64(c - '0') : u64(c - '0');
            inRun = true;
            if (value > 2147483647)
                return false;
        } else {
            inRun = false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    // Texts past 256 bytes are not tried: the scan reads at most five numbers, each held at the
    // int range's limits once past them, and hands any other text whole to the resolver (a host
    // name has at most 253 bytes); a longer text only makes longer runs of blanks or digits,
    // which the scan goes through as it goes through shorter ones.
    if (size > 256)
        return 0;
    platform::SetHostResolver(&Stub);
    const std::string text(reinterpret_cast<const char*>(data), size);
    s_Lookups = 0;
    const CNetAddress address =
        CNetAddress::FromText(CClassicString(CClassicStringRef(text.data(), u32(size))));
    FUZZ_CHECK(address.m_Family == 2);

    if (NumbersFit(text)) {
        int n[5] = {};
        const int fields =
            std::sscanf(text.c_str(), "%d.%d.%d.%d:%d", &n[0], &n[1], &n[2], &n[3], &n[4]);
        const bool dotted = (fields == 4 || fields == 5) && u32(n[0]) <= 255 && u32(n[1]) <= 255 &&
                            u32(n[2]) <= 255 && u32(n[3]) <= 255 &&
                            (fields == 4 || u32(n[4]) <= 65535);
        if (dotted) {
            FUZZ_CHECK(s_Lookups == 0);
            FUZZ_CHECK(address.GetAddress() ==
                       (u32(n[0]) << 24 | u32(n[1]) << 16 | u32(n[2]) << 8 | u32(n[3])));
            FUZZ_CHECK(address.GetPort() == (fields == 5 ? u32(n[4]) : 0u));
        } else {
            FUZZ_CHECK(s_Lookups == 1 && s_Asked == text.c_str());
            FUZZ_CHECK(address.GetAddress() == 0 && address.GetPort() == 0);
        }
    }

    // The text form reads back without a lookup; so do both archive forms.
    CClassicString written;
    address.ToText(written, true);
    s_Lookups = 0;
    const CNetAddress back = CNetAddress::FromText(written);
    FUZZ_CHECK(s_Lookups == 0 && back.GetAddress() == address.GetAddress() &&
               back.GetPort() == address.GetPort());
    for (i32 textMode : {0, 1}) {
        CClassicArchive out;
        auto* memory = new CClassicBufferMemory;
        out.SetBuffer(memory);
        out.m_Writing = 1;
        out.m_Text = textMode;
        CNetAddress copy = address;
        copy.Archive(out);
        CClassicArchive in;
        auto* source = new CClassicBufferMemory;
        source->Write(memory->GetData(), memory->GetSize());
        source->Rewind();
        in.SetBuffer(source);
        in.m_Text = textMode;
        CNetAddress read;
        read.Archive(in);
        FUZZ_CHECK(read.GetAddress() == address.GetAddress() &&
                   read.GetPort() == address.GetPort());
    }
    platform::SetHostResolver(nullptr);
    return 0;
}
