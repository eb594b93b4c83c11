// What the slow instance (slow_instance.cpp) prints and sends, for the tests that run it.
#ifndef TESTS_INTEGRATION_SLOW_INSTANCE_H
#define TESTS_INTEGRATION_SLOW_INSTANCE_H

#include <string>

namespace slowinstance {

// Its output's line once it listens, and the line it prints as each answer starts streaming.
inline constexpr char kReadyLine[] = "slow instance: listening on port ";
inline constexpr char kStreamingLine[] = "slow instance: streaming\n";

// Every answer: this head, then as many pieces as the query's "pieces=N" asks, 10 ms apart.
inline constexpr char kHead[] = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
inline constexpr char kPiece[] = "a slow piece of the body\n";

inline std::string body(int pieces) {
    std::string text;
    for (int i = 0; i < pieces; ++i) {
        text += kPiece;
    }
    return text;
}

}  // namespace slowinstance

#endif  // TESTS_INTEGRATION_SLOW_INSTANCE_H
