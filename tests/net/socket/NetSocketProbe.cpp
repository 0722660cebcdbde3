// Opens a stream socket on 127.0.0.1 with SO_DEBUG 1, then 0, and prints whether each open
// succeeded: the socket test runs it without CAP_NET_ADMIN.
#include "net/socket/NetSocket.h"

#include <cstdio>

int main() {
    platform::SetStreamBindAddress(0x7F000001);
    for (i32 debug : {1, 0}) {
        CNetTcpSocket socket;
        u16 port = 0;
        const bool opened = socket.Open(debug, port);
        std::printf("debug %d: %d\n", debug, opened ? 1 : 0);
        CloseSocket(socket);
    }
    return 0;
}
