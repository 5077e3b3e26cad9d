// Feeds arbitrary bytes as the server's answers to a connected command channel (over loopback)
// and reads answers until the channel gives up: no crash, no over-read, consistent results.
#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "comlux/internal/NetworkNodeClient.h"

namespace {

int ListeningSocket(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        std::abort();
    }
    port = ntohs(address.sin_port);
    return fd;
}

// Accepts one connection, writes the bytes, ends its sending side and waits for the client to close.
void ServeOnce(int listenFd, const std::string& bytes) {
    const int fd = ::accept(listenFd, nullptr, nullptr);
    if (fd < 0) return;
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    ::shutdown(fd, SHUT_WR);
    char sink[4096];
    while (::recv(fd, sink, sizeof sink, 0) > 0) {}
    ::close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static int port = 0;
    static const int listenFd = ListeningSocket(port);
    if (size > 65536) return 0;  // stays within the socket buffers, so the peer never blocks

    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::thread peer(ServeOnce, listenFd, bytes);
    {
        comlux::NetworkNodeClient client;
        client.SetMessageHandler([](const std::string&) {});
        client.SetAnswerTimeout(std::chrono::seconds(5));
        // The first answer is taken as the application name; the rest as answers to commands.
        client.InitializeClient("127.0.0.1", port);
        for (int i = 0; i < 64 && client.IsInitialized(); ++i) {
            if (i % 2 == 0) {
                std::vector<unsigned char> block(3, 0xEE);
                int length = -1;
                if (!client.RecieveMessage(block, length)) break;
                if (length <= 0 || static_cast<std::size_t>(length) != block.size()) std::abort();
            } else {
                std::string reply = "unset";
                if (!client.GetReply(reply)) {
                    if (reply != "-1") std::abort();
                    break;
                }
            }
        }
        client.ShutdownClient();
    }
    peer.join();
    return 0;
}
