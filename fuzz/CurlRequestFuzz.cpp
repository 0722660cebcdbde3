// Fuzzes the libcurl transport's handling of what libcurl hands over, without a network: the
// input plays libcurl (header lines one at a time, body pieces, a pause honoured until the reader
// resumes the transfer, the same piece handed over again then) and the engine's client (reads in
// slots into a body block it grows, room lent for bytes to land in and taken back before the
// block moves, a terminator after every read).
//
// Promises checked: the reader gets exactly the bytes the transport took, in order, and the
// count the transport says it keeps is that difference; a pause comes only with a full queue; a
// header block is refused only past its size limit or for a transfer coding, and every coding
// libcurl would undo (its own reading of Transfer-Encoding) is refused; a final block is whole,
// not interim and names no coding but chunked.
#include "FuzzReader.h"
#include "platform/http/CurlRequest.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace {

using namespace platform::curl_http;

// The input as libcurl's lines: up to the next '\n' (taken too), at most `limit` bytes.
std::string Line(CFuzzReader& in, size_t limit) {
    std::string s;
    while (in.More() && s.size() < limit) {
        s += char(in.Byte());
        if (s.back() == '\n')
            break;
    }
    return s;
}

constexpr const char* kLines[] = {
    "HTTP/1.1 200 OK\r\n",
    "HTTP/1.1 100 Continue\r\n",
    "HTTP/1.1 302 Found\r\n",
    "HTTP/1.0 206 Partial Content\n",
    "Location: /elsewhere\r\n",
    "Transfer-Encoding: chunked\r\n",
    "Transfer-Encoding: gzip, chunked\r\n",
    "transfer-encoding:\tChunked ; x=1,,\r\n",
    " , deflate\r\n",
    "Content-Length: 12\r\n",
    "\r\n",
    "\n",
};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

bool IsCurlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Whether libcurl would put a decoder on the body: its reading of a Transfer-Encoding line
// (names separated by ',', blanks and tabs before a name skipped, white space after it dropped,
// "chunked" handled by itself), every other name being a coding it undoes or fails on.
bool CurlWouldDecode(std::string_view block) {
    size_t at = 0;
    while (at < block.size()) {
        size_t end = block.find('\n', at);
        end = end == std::string_view::npos ? block.size() : end + 1;
        const std::string_view line = block.substr(at, end - at);
        at = end;
        if (!StartsWithNoCase(line, "transfer-encoding:"))
            continue;
        std::string_view list = line.substr(18);
        while (!list.empty()) {
            while (!list.empty() &&
                   (list.front() == ' ' || list.front() == '\t' || list.front() == ','))
                list.remove_prefix(1);
            size_t length = 0;
            size_t i = 0;
            for (; i < list.size() && list[i] != ','; ++i)
                if (!IsCurlSpace(list[i]))
                    length = i + 1;
            const std::string_view name = list.substr(0, length);
            bool chunked = name.size() == 7;
            for (size_t k = 0; chunked && k < 7; ++k)
                chunked = (name[k] | 0x20) == "chunked"[k];
            if (length != 0 && !chunked)
                return true;
            list.remove_prefix(i);
        }
    }
    return false;
}

constexpr size_t kMaxBodyRoom = 256 * 1024;

// The engine's client as the transport meets it: a body block of `Capacity` bytes and one more
// for the terminator, `Length` of them read.
struct CBody {
    std::unique_ptr<u8[]> Block;
    size_t Capacity = 0;
    size_t Length = 0;

    void Grow(size_t capacity) {
        std::unique_ptr<u8[]> block(new u8[capacity + 1]);
        if (Block)
            std::memcpy(block.get(), Block.get(), Length + 1);
        else
            block[0] = 0;
        Block = std::move(block);
        Capacity = capacity;
    }
};

// libcurl's side of a transfer.
struct CTransfer {
    // Bytes the transport took, and those the reader got.
    std::string Taken;
    std::string Read;
    // The piece a pause refused, handed over again once the transfer is resumed.
    std::string Held;
    bool HasHeld = false;
    // The transport refused what it was given: libcurl ends the transfer.
    bool Aborted = false;
};

CTransfer* s_Transfer = nullptr;

// Hands a body piece to the transport as libcurl does; false when it paused the transfer.
bool HandOver(CurlRequest& r, std::string piece) {
    const size_t queued = r.Queued();
    const size_t answer = OnBody(piece.data(), 1, piece.size(), &r);
    if (answer == CURL_WRITEFUNC_PAUSE) {
        FUZZ_CHECK(r.Paused);
        FUZZ_CHECK(queued >= r.QueueBound);
        s_Transfer->Held = std::move(piece);
        s_Transfer->HasHeld = true;
        return false;
    }
    FUZZ_CHECK(answer == piece.size());
    s_Transfer->Taken += piece;
    return true;
}

// curl_easy_pause(CONT): the held piece comes back at once, and may pause the transfer again.
void Resume(CurlRequest& r) {
    r.Paused = false;
    if (s_Transfer->HasHeld) {
        s_Transfer->HasHeld = false;
        HandOver(r, std::move(s_Transfer->Held));
    }
}

void CheckQueue(const CurlRequest& r, const CTransfer& t) {
    FUZZ_CHECK(t.Read.size() <= t.Taken.size());
    FUZZ_CHECK(r.Queued() == t.Taken.size() - t.Read.size());
    FUZZ_CHECK(r.AreaRead <= r.AreaFilled && r.AreaFilled <= r.AreaRoom);
    FUZZ_CHECK(r.QueueHead <= r.Queue.size());
}

void HeaderLine(CurlRequest& r, CTransfer& t, std::string_view line) {
    if (t.Aborted)
        return;
    const bool trailer = r.FinalKnown;
    const bool ends = line == "\r\n" || line == "\n";
    // The block this line ends, before the transport takes it.
    const std::string block = ends ? r.Current + std::string(line) : std::string();
    // libcurl hands over its own buffer, which the callback only reads.
    const size_t answer = OnHeader(const_cast<char*>(line.data()), 1, line.size(), &r);
    if (trailer) {
        FUZZ_CHECK(answer == line.size());
        return;
    }
    if (answer != line.size()) {
        FUZZ_CHECK(answer == 0);
        FUZZ_CHECK(r.Refusal != 0 || r.Current.size() + line.size() > kMaxHeaderBlock);
        t.Aborted = true;
        return;
    }
    FUZZ_CHECK(r.Refusal == 0);
    if (!ends)
        return;
    FUZZ_CHECK(r.Current.empty());
    const u32 code = StatusCodeOf(block);
    FUZZ_CHECK(code <= 999);
    if (code >= 100 && code < 200)
        return;
    // A final block was taken: libcurl undoes no coding of it.
    FUZZ_CHECK(!CurlWouldDecode(block));
    FUZZ_CHECK(r.Final == block);
    FUZZ_CHECK(OnlyChunkedCoding(r.Final));
    FUZZ_CHECK(r.FinalKnown ||
               (r.AllowRedirect && code >= 300 && code < 400 && HasLocation(r.Final)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    CFuzzReader in{data, size};
    CurlRequest r;
    CTransfer t;
    s_Transfer = &t;
    CBody body;
    r.QueueBound = 1 + size_t(in.Byte()) * 97;
    r.AllowRedirect = in.Byte() & 1;
    body.Grow(1 + size_t(in.Byte()) * 256);

    u32 ops = 0;
    u32 longLines = 0;
    while (in.More() && ++ops < 2000) {
        const u8 op = in.Byte();
        switch (op % 9) {
            case 0:
                HeaderLine(r, t, kLines[in.Byte() % std::size(kLines)]);
                break;
            case 1: {
                std::string line = Line(in, 300);
                if (line.empty() || line.back() != '\n')
                    line += "\r\n";
                HeaderLine(r, t, line);
                break;
            }
            case 2: {
                // Lines long enough to pass the size limit of a header block; a few per input
                // reach it, more would only slow the target down.
                static const std::string s_Long = std::string(255 << 10, 'h') + "\r\n";
                const size_t n = (size_t(in.Byte()) << 10) + 2;
                if (++longLines <= 4)
                    HeaderLine(r, t, std::string_view(s_Long).substr(s_Long.size() - n));
                break;
            }
            case 3:
                // libcurl hands nothing over while the transfer is paused or ended.
                if (!t.Aborted && !r.Paused) {
                    const size_t n = size_t(in.Byte()) * (op & 0x80 ? 64 : 1);
                    std::string piece = in.Bytes(n);
                    if (piece.size() < n)
                        piece.append(n - piece.size(), char(op));
                    HandOver(r, std::move(piece));
                }
                break;
            case 4: {
                // A read of one slot where the body goes on, then the terminator after it.
                if (body.Capacity == body.Length)
                    break;
                const size_t slot =
                    std::min<size_t>(1 + size_t(in.Byte()) * 64, body.Capacity - body.Length);
                u8* into = body.Block.get() + body.Length;
                const size_t got = r.ReadBody(into, slot, &Resume);
                FUZZ_CHECK(got <= slot);
                const std::string_view bytes(reinterpret_cast<const char*>(into), got);
                FUZZ_CHECK(t.Taken.compare(t.Read.size(), got, bytes) == 0);
                t.Read += bytes;
                body.Length += got;
                body.Block[body.Length] = 0;
                break;
            }
            case 5:
                // The room after the body is lent for bytes to land in.
                r.SetArea(body.Block.get() + body.Length, body.Capacity - body.Length);
                break;
            case 6:
                r.SetArea(nullptr, 0);
                body.Block[body.Length] = 0;
                break;
            case 7: {
                // The block moves: the room is taken back first, as the client does. A few
                // hundred kilobytes are room enough for what an input can carry.
                const size_t more = 1 + size_t(in.Byte()) * 512;
                r.SetArea(nullptr, 0);
                if (body.Capacity < kMaxBodyRoom)
                    body.Grow(body.Capacity + more);
                break;
            }
            case 8:
                // Sent again: a new answer from the start.
                r.ResetAnswer();
                t = CTransfer{};
                body.Length = 0;
                body.Block[0] = 0;
                break;
        }
        CheckQueue(r, t);
    }

    // Everything taken reaches the reader, in order.
    r.SetArea(nullptr, 0);
    std::string rest(0x4000, '\0');
    while (size_t got = r.ReadBody(reinterpret_cast<u8*>(rest.data()), rest.size(), &Resume))
        t.Read.append(rest.data(), got);
    FUZZ_CHECK(!t.HasHeld && !r.Paused);
    FUZZ_CHECK(t.Read == t.Taken);
    CheckQueue(r, t);
    s_Transfer = nullptr;
    return 0;
}
