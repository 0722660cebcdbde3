// A download as the update road makes it, as a program of its own, for the whole-process
// benchmark (HttpDownloadBench.cpp, DownloadToFile): the body streamed from the server into a
// temporary file beside the target, which replaces the target only when the whole announced file
// came.
//   http_fetch <host> <port> <path> <target> [memory]
// With "memory", the road before streaming: the whole body kept in memory, then written through
// the temporary file. Exits 0 when the file is in place, 1 otherwise (the target left as it was).
#include "net/http/NetHttpClient.h"
#include "net/http/NetHttpResult.h"
#include "platform/HostPath.h"
#include "system/file/ClassicBufferFile.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

int main(int argc, char** argv) {
    const bool inMemory = argc == 6 && std::string_view(argv[5]) == "memory";
    if (argc != 5 && !inMemory) {
        std::fprintf(stderr, "usage: http_fetch <host> <port> <path> <target> [memory]\n");
        return 2;
    }
    const CClassicWideString target(platform::FromHostPath(argv[4]).c_str());
    CClassicBufferFile file;
    if (!file.Open(target, true, true, false, false))
        return 1;
    CNetHttpClient client;
    if (!client.Open(argv[1], std::atoi(argv[2]))) {
        file.Discard();
        return 1;
    }
    CNetHttpResult* request = client.Get(argv[3], false, true, 0);
    if (!request || (!inMemory && !client.StreamBody(request, &file))) {
        file.Discard();
        return 1;
    }
    request->AddRef();
    while (client.GetRequestCount() != 0)
        client.WaitForRequests(1000);
    bool whole = request->m_Status == CNetHttpResult::s_StatusDone &&
                 request->m_ExpectedSize != 0 && request->GetReceived() == request->m_ExpectedSize;
    if (whole && inMemory) {
        const CClassicString& body = request->m_Body;
        whole = file.Write(body.GetText(), body.GetLength()) == body.GetLength();
    }
    request->Release();
    if (!whole) {
        file.Discard();
        return 1;
    }
    return file.Close() ? 0 : 1;
}
