// Fuzzes the whole HTTP client over the scripted transport: the input writes the answers (header
// blocks, events, body pieces at once or behind pending reads, ends, errors, failing calls) and
// the calls made on the client (requests of each kind, updates, waits, cancels, removals, closes).
// Nothing may crash or leak, no body may grow past the client's limit, and every request either
// ended (Done, Error or cancelled, out of the client) or is still in the client's array.
#include "FuzzReader.h"
#include "net/http/NetHttpClient.h"
#include "net/http/NetHttpResult.h"
#include "system/file/PackedDateTime.h"
#include "tests/support/http/FakeHttpTransport.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr u32 kCodes[] = {100, 200, 206, 204, 301, 302, 304, 401, 404, 407, 500, 0};
constexpr u32 kErrors[] = {12029, 12045, 12038, 12037, 12002, 12031, 12017, 12007, 8, 12152};
constexpr u32 kBodyLimit = 1 << 20;

std::string HeaderBlock(CFuzzReader& in) {
    const u8 flags = in.Byte();
    std::string block =
        "HTTP/1.1 " + std::to_string(kCodes[in.Byte() % std::size(kCodes)]) + " X\r\n";
    if (flags & 1) {
        const u32 length = flags & 2 ? in.Word() : in.Byte();
        block +=
            "Content-Length: " + std::to_string(flags & 4 ? u64(length) << 20 : length) + "\r\n";
    }
    if (flags & 8)
        block += "Content-Type: " + std::string(in.Byte() % 80, 't') + "\r\n";
    if (flags & 16)
        block += "Location: /elsewhere\r\n";
    if (flags & 32)
        block += "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n";
    if (flags & 64)
        block += in.Bytes(in.Byte());
    return block + "\r\n";
}

// Set while the fuzzer is inside Update or WaitForRequests: the requests the client removes then
// are the ones that ended, Done or Error.
bool s_InPass = false;
u32 s_Completions = 0;

void OnCompletion(void*, CNetHttpResult* request) {
    ++s_Completions;
    FUZZ_CHECK(request->GetClient() == nullptr);
    if (s_InPass)
        FUZZ_CHECK(request->m_Status == 3 || request->m_Status == 4);
}

// Holds a reference on every request the fuzzer made.
struct CMade {
    std::vector<CNetHttpResult*> Requests;
    ~CMade() {
        for (CNetHttpResult* r : Requests)
            r->Release();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    // Inputs past 4 KB are not tried: the input is a script, not an answer. A body piece of the
    // script holds at most 255 bytes of it, and one step makes a piece of up to 2 MB from a
    // single byte (past the client's limit of 1 MB), so short scripts reach every size the
    // client checks; a longer script only adds steps (up to 400) that slow each run down.
    if (size > 4096)
        return 0;
    const u32 liveBefore = CMwNod::GetLiveNodCount();
    s_Completions = 0;
    {
        FakeClock clock;
        FakeHttpTransport fake;
        CFuzzReader in{data, size};
        PackedDateTime date;
        CMade made;
        {
            CNetHttpClient client;
            client.SetBodyLimit(kBodyLimit);
            client.Open("upd.test", in.Byte() & 1 ? 443 : 80);
            fake_http::Script script;
            u32 ops = 0;
            while (in.More() && ++ops < 400) {
                const u8 op = in.Byte();
                switch (op % 16) {
                    case 0:
                        script.Steps.push_back(fake_http::Headers(HeaderBlock(in)));
                        break;
                    case 1:
                        script.Steps.push_back(
                            fake_http::Fail(kErrors[in.Byte() % std::size(kErrors)]));
                        break;
                    case 2:
                        script.Steps.push_back(fake_http::Data(in.Bytes(in.Byte())));
                        break;
                    case 3:
                        script.Steps.push_back(fake_http::DataLater(in.Bytes(in.Byte())));
                        break;
                    case 4:
                        script.Steps.push_back(fake_http::End());
                        break;
                    case 5:
                        script.Steps.push_back(fake_http::EndLater());
                        break;
                    case 6:
                        script.Steps.push_back(
                            fake_http::ReadError(kErrors[in.Byte() % std::size(kErrors)]));
                        break;
                    case 7: {
                        const u8 how = in.Byte();
                        script.CreateError = how & 1 ? 12004 : 0;
                        script.SendError = how & 2 ? 12029 : 0;
                        script.HeadersError = how & 4 ? 12150 : 0;
                        script.RelaxError = how & 8 ? 87 : 0;
                        fake.Add("", script);
                        script = {};
                        const u32 kind = (how >> 4) % 4;
                        const std::string body = in.Bytes(in.Byte() % 32);
                        CNetHttpResult* r = client.CreateRequest(
                            kind, "p", how & 64, reinterpret_cast<const u8*>(body.data()),
                            u32(body.size()), how & 128, in.Byte());
                        if (r) {
                            r->AddRef();
                            r->SetCompletionCallback(&s_Completions, &OnCompletion);
                            if (kind == 2 && (how & 32))
                                r->m_UserData = &date;
                            made.Requests.push_back(r);
                        }
                        break;
                    }
                    case 8:
                        s_InPass = true;
                        client.Update();
                        s_InPass = false;
                        break;
                    case 9:
                        s_InPass = true;
                        client.WaitForRequests(in.Byte() * 10u);
                        s_InPass = false;
                        break;
                    case 10:
                        if (!made.Requests.empty())
                            made.Requests[in.Byte() % made.Requests.size()]->Cancel();
                        break;
                    case 11:
                        if (!made.Requests.empty())
                            client.RemoveRequest(made.Requests[in.Byte() % made.Requests.size()]);
                        break;
                    case 12:
                        client.Close();
                        client.Open("upd.test", 80);
                        break;
                    case 13:
                        script.Steps.push_back(
                            fake_http::Data(std::string(size_t(in.Byte()) * 8192, char(op))));
                        break;
                    case 14:
                        client.SetRelaxedCertificates(in.Byte() & 1);
                        break;
                    case 15:
                        script.Steps.push_back(fake_http::Headers(in.Bytes(in.Byte())));
                        break;
                }
                for (CNetHttpResult* r : made.Requests)
                    FUZZ_CHECK(r->m_Body.GetCapacity() <= kBodyLimit + CNetHttpClient::s_ReadSlot);
            }
            s_InPass = true;
            client.WaitForRequests(1000);
            s_InPass = false;
            const CNetHttpResult* const* begin = client.m_Requests.m_Items;
            const CNetHttpResult* const* end = begin + client.m_Requests.m_Count;
            for (CNetHttpResult* r : made.Requests) {
                const bool inArray = std::find(begin, end, r) != end;
                FUZZ_CHECK(inArray == (r->GetClient() == &client));
                if (inArray)
                    FUZZ_CHECK(r->m_Status <= 2);
                FUZZ_CHECK(r->m_Body.GetLength() <= kBodyLimit || r->m_Status == 4);
            }
        }
        // Every request was completed once, by its end, a cancel, a removal or the close.
        FUZZ_CHECK(s_Completions == made.Requests.size());
        for (CNetHttpResult* r : made.Requests)
            FUZZ_CHECK(r->GetClient() == nullptr && r->GetRefCount() == 1);
        FUZZ_CHECK(fake.GetSessionsOpen() == 0);
    }
    FUZZ_CHECK(CMwNod::GetLiveNodCount() == liveBefore);
    return 0;
}
