#include "platform/http/CurlRequest.h"

#include <algorithm>
#include <cstring>

namespace platform::curl_http {

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (LowerAscii(text[i]) != prefix[i])
            return false;
    return true;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Calls `line` with each line of the block, without its line end.
template <class Visit>
void ForEachLine(std::string_view block, Visit line) {
    size_t at = 0;
    while (at < block.size()) {
        size_t end = block.find('\n', at);
        if (end == std::string_view::npos)
            end = block.size();
        std::string_view text = block.substr(at, end - at);
        if (!text.empty() && text.back() == '\r')
            text.remove_suffix(1);
        line(text);
        at = end + 1;
    }
}

} // namespace

u32 StatusCodeOf(std::string_view block) {
    const size_t blank = block.find(' ');
    if (blank == std::string_view::npos || block.size() < blank + 4)
        return 0;
    u32 code = 0;
    for (size_t i = blank + 1; i < blank + 4; ++i) {
        if (block[i] < '0' || block[i] > '9')
            return 0;
        code = code * 10 + u32(block[i] - '0');
    }
    return code;
}

bool HasLocation(std::string_view block) {
    bool found = false;
    ForEachLine(block, [&](std::string_view line) {
        found = found || StartsWithNoCase(line, "location:");
    });
    return found;
}

bool OnlyChunkedCoding(std::string_view block) {
    constexpr std::string_view kField = "transfer-encoding:";
    bool inField = false;
    bool onlyChunked = true;
    ForEachLine(block, [&](std::string_view line) {
        std::string_view value;
        if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            // A folded line goes on with the field above it.
            value = line;
        } else {
            inField = StartsWithNoCase(line, kField);
            value = inField ? line.substr(kField.size()) : std::string_view();
        }
        if (!inField)
            return;
        // A list of codings, empty elements allowed. Chunked has no parameters: "chunked;x" is a
        // coding libcurl does not know either.
        while (true) {
            const size_t comma = value.find(',');
            const std::string_view name = TrimBlanks(value.substr(0, comma));
            if (!name.empty()) {
                bool chunked = name.size() == 7;
                for (size_t i = 0; chunked && i < 7; ++i)
                    chunked = LowerAscii(name[i]) == "chunked"[i];
                onlyChunked = onlyChunked && chunked;
            }
            if (comma == std::string_view::npos)
                break;
            value.remove_prefix(comma + 1);
        }
    });
    return onlyChunked;
}

u8* CurlRequest::AreaUnread() {
    if (Kept)
        Area[AreaRead] = KeptByte;
    Kept = false;
    return Area + AreaRead;
}

void CurlRequest::ResetAnswer() {
    Current.clear();
    Final.clear();
    FinalKnown = false;
    Refusal = 0;
    Area = nullptr;
    AreaRoom = 0;
    AreaFilled = 0;
    AreaRead = 0;
    Kept = false;
    Queue.clear();
    QueueHead = 0;
    Paused = false;
    Done = false;
    Error = 0;
    ErrorReported = false;
    AwaitSend = false;
    AwaitRead = false;
}

size_t CurlRequest::ReadBody(u8* into, size_t size, void (*resume)(CurlRequest&)) {
    if (Queued() == 0 && Paused)
        resume(*this);
    if (Queued() == 0 || size == 0)
        return 0;
    size_t n = 0;
    if (AreaRead != AreaFilled) {
        n = std::min(AreaFilled - AreaRead, size);
        // Read where they landed, they are already in place.
        const u8* from = AreaUnread();
        if (from != into)
            std::memmove(into, from, n);
        AreaRead += n;
    } else {
        n = std::min(Queue.size() - QueueHead, size);
        std::memcpy(into, Queue.data() + QueueHead, n);
        QueueHead += n;
        if (QueueHead == Queue.size()) {
            Queue.clear();
            QueueHead = 0;
        }
    }
    if (Paused && Queued() < QueueBound / 2)
        resume(*this);
    // Including what the resumed transfer just landed.
    Kept = AreaRead != AreaFilled;
    if (Kept)
        KeptByte = Area[AreaRead];
    return n;
}

void CurlRequest::SetArea(u8* at, size_t room) {
    if (AreaRead != AreaFilled) {
        // Bytes not read yet go before the queue's, while the old area is still there.
        Queue.erase(0, QueueHead);
        QueueHead = 0;
        Queue.insert(0, reinterpret_cast<const char*>(AreaUnread()), AreaFilled - AreaRead);
    }
    // While queued bytes wait, the caller reads them to `at` first: the area would be taken at
    // the wrong place, so it is declined.
    Area = room && QueueHead == Queue.size() ? at : nullptr;
    AreaRoom = Area ? room : 0;
    AreaFilled = 0;
    AreaRead = 0;
    Kept = false;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* r = static_cast<CurlRequest*>(user);
    const size_t n = size * count;
    if (r->FinalKnown) // trailers of a chunked body
        return n;
    const std::string_view line(data, n);
    if (line.substr(0, 5) == "HTTP/")
        r->Current.clear();
    if (r->Current.size() + n > kMaxHeaderBlock)
        return 0;
    r->Current.append(line);
    if (line != "\r\n" && line != "\n")
        return n;
    const u32 code = StatusCodeOf(r->Current);
    if (code >= 100 && code < 200) { // an interim answer
        r->Current.clear();
        return n;
    }
    if (!OnlyChunkedCoding(r->Current)) {
        // Nobody asked for another coding, and libcurl would undo it on its own: a small answer
        // could unpack to any size. The answer is refused before a byte of its body is read.
        r->Refusal = kHttpErrorInvalidAnswer;
        return 0;
    }
    r->Final = r->Current;
    r->Current.clear();
    // A redirect libcurl follows is not the final answer; a body or the end tells.
    r->FinalKnown = !(r->AllowRedirect && code >= 300 && code < 400 && HasLocation(r->Final));
    return n;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* r = static_cast<CurlRequest*>(user);
    const size_t n = size * count;
    if (!r->Final.empty())
        r->FinalKnown = true;
    if (r->Queued() >= r->QueueBound) {
        r->Paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    size_t landed = 0;
    if (r->Area && r->QueueHead == r->Queue.size()) {
        // Straight into the caller's memory: the only copy the body gets on this side.
        landed = std::min(n, r->AreaRoom - r->AreaFilled);
        std::memcpy(r->Area + r->AreaFilled, data, landed);
        r->AreaFilled += landed;
        if (landed == n)
            return n;
    }
    if (r->QueueHead != 0 && r->QueueHead >= r->Queue.size() / 2) {
        r->Queue.erase(0, r->QueueHead);
        r->QueueHead = 0;
    }
    r->Queue.append(data + landed, n - landed);
    return n;
}

} // namespace platform::curl_http
