// A native application-server instance that streams its answers slowly, so that a test can
// kill it in the middle of one: a real process that starts in milliseconds, where the Java
// instance takes a second.
//
//   slow_instance PORT
#include "slow_instance.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "fake_instance.h"

namespace {

// The number after "pieces=" in the request line, or 1.
int piecesAsked(const std::string& head) {
    const std::string line = head.substr(0, head.find("\r\n"));
    const size_t at = line.find("pieces=");
    return at == std::string::npos ? 1 : std::atoi(line.c_str() + at + 7);
}

void stream(fakeinstance::Peer& peer) {
    const std::string head = peer.readUntil("\r\n\r\n");
    peer.readUntil("\r\n\r\n");  // the additional information
    peer.send(fakeinstance::responseData(slowinstance::kHead));
    std::fputs(slowinstance::kStreamingLine, stdout);
    std::fflush(stdout);
    for (int i = piecesAsked(head); i > 0; --i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        peer.send(fakeinstance::responseData(slowinstance::kPiece));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: slow_instance PORT\n", stderr);
        return 2;
    }
    fakeinstance::FakeInstance instance(stream, std::chrono::seconds(10), std::atoi(argv[1]));
    std::printf("%s%d\n", slowinstance::kReadyLine, instance.port());
    std::fflush(stdout);
    for (;;) {
        pause();  // serves until killed
    }
}
