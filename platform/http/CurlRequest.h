#pragma once
// A request of the libcurl transport and what it makes of the bytes libcurl hands over: the
// header lines (OnHeader) and the body (OnBody), kept until the reader takes them in order
// (ReadBody), in a queue or straight in the reader's memory. Apart from the handle it carries,
// nothing here calls libcurl: the transport's fuzz target drives it with lines and bytes of its
// own. Used by CurlTransport.cpp and that target only.
#include "platform/http/HttpTransport.h"

#include <curl/curl.h>
#include <string>
#include <string_view>

namespace platform::curl_http {

// Body bytes a request keeps before its transfer is paused until the reader catches up.
inline constexpr size_t kQueueBytes = size_t(1) << 20;
// A header block longer than this ends the transfer.
inline constexpr size_t kMaxHeaderBlock = 256 * 1024;

// The status code of a block's status line ("HTTP/1.1 200 OK"); 0 when there is none.
u32 StatusCodeOf(std::string_view block);
// Whether a line of the block is a Location field.
bool HasLocation(std::string_view block);
// Whether the block's Transfer-Encoding fields (all of them, with their continuation lines) name
// no transfer coding but "chunked" (without parameters); true when there is none.
bool OnlyChunkedCoding(std::string_view block);

struct CurlRequest {
    CURL* Easy = nullptr;
    void* Context = nullptr;
    HttpHandle Handle = 0;
    bool AllowRedirect = true;
    bool Unresolvable = false;
    curl_slist* Headers = nullptr;
    curl_slist* ConnectTo = nullptr;
    bool InMulti = false;
    size_t QueueBound = kQueueBytes;

    // The answer: the header block being received and the final one.
    std::string Current;
    std::string Final;
    // The last block came in; a redirect that libcurl follows is not final.
    bool FinalKnown = false;
    // Non-zero: the error number of an answer refused on its header block, which ended the
    // transfer before any byte of its body was read.
    u32 Refusal = 0;
    // Body bytes not read yet: first those that landed in the caller's area (from AreaRead to
    // AreaFilled), then the queue's from QueueHead on. Bytes land in the area only while the
    // queue is empty, so that they keep their order.
    u8* Area = nullptr;
    size_t AreaRoom = 0;
    size_t AreaFilled = 0;
    size_t AreaRead = 0;
    // After a read answered from the area, the caller may end what it got with a terminator,
    // which falls on the next unread byte: that byte is kept here until it is read.
    bool Kept = false;
    u8 KeptByte = 0;
    std::string Queue;
    size_t QueueHead = 0;
    bool Paused = false;
    // The transfer is over, with 0 or an error number.
    bool Done = false;
    u32 Error = 0;
    bool ErrorReported = false;
    // An event is owed: for the send (the answer's headers or a failure), or for a pending read.
    bool AwaitSend = false;
    bool AwaitRead = false;

    size_t Queued() const { return AreaFilled - AreaRead + Queue.size() - QueueHead; }
    // The area's first unread byte, whole again.
    u8* AreaUnread();
    // Forgets the answer, before the request is sent (again).
    void ResetAnswer();
    // Moves up to `size` unread body bytes to `into`, in order (those already there stay); 0 when
    // none wait. `resume` restarts the paused transfer once the queue has room again; libcurl
    // may then hand over bytes at once.
    size_t ReadBody(u8* into, size_t size, void (*resume)(CurlRequest&));
    // The caller's room for the next bytes (see HttpSession::SetReceiveArea).
    void SetArea(u8* at, size_t room);
};

// libcurl's header and write callbacks; `user` is the CurlRequest.
size_t OnHeader(char* data, size_t size, size_t count, void* user);
size_t OnBody(char* data, size_t size, size_t count, void* user);

} // namespace platform::curl_http
