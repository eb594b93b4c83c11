#include "chain_checks.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "http_client.h"
#include "response_checks.h"
#include "test_paths.h"

namespace chain {

int freePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

std::string entryOf(int port) {
    return "127.0.0.1:" + std::to_string(port);
}

bool accepts(int port) {
    return testsupport::HttpConnection(port).connected();
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

bool fileSoonHolds(const std::string& path, const std::string& text) {
    return eventually([&] { return testsupport::readFile(path).find(text) != std::string::npos; },
                      std::chrono::seconds(5));
}

bool startAppServer(testsupport::ServerProcess& instance, int port, const std::string& logFile,
                    const std::vector<std::string>& arguments) {
    const std::string java = testsupport::buildOutputFolder() + "/java/";
    std::vector<std::string> all = {"-cp", java + "Brevant30.jar:" + java + "BrevantTomcat.jar",
                                    "com.orlena.tessel.brevant.server.AppServer", "--port",
                                    std::to_string(port)};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return instance.start("/usr/bin/java", all, {}, logFile, "AppServer: listening on port",
                          std::chrono::seconds(30));
}

bool startAdapterHost(testsupport::ServerProcess& host, const std::string& folder,
                      const std::string& properties, const std::vector<std::string>& arguments) {
    const std::string modules = folder + "/modules";
    std::filesystem::create_directories(modules);
    std::filesystem::copy_file(testsupport::buildOutputFolder() + "/modules/Brevant_Adapter.dll",
                               modules + "/Brevant_Adapter.dll");
    testsupport::writeFile(modules + "/brevant.properties", properties);
    std::vector<std::string> all = {"--port",   "0",
                                    "--root",   folder,
                                    "--vdir",   "/Scripts=" + modules + ",execute",
                                    "--filter", modules + "/Brevant_Adapter.dll"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return host.startIsapihost(all, folder);
}

void expectBodiesPassWhole(int port) {
    const std::string body = testsupport::uploadBody(20u * 1024 * 1024);
    testsupport::HttpResponse upload = testsupport::httpRequest(
        port, "POST", "/servlet/Upload", "Content-Type: application/octet-stream\r\n", body);
    EXPECT_EQ(upload.body.substr(0, upload.body.find_first_of("\r\n")),
              testsupport::uploadDigest(body))
        << upload.statusLine;

    // 100 MB kept whole: comparing it after the close is simpler than counting on arrival.
    const size_t size = 104857600;
    testsupport::HttpConnection stream(port);
    ASSERT_TRUE(stream.send("GET /servlet/Stream?bytes=" + std::to_string(size) +
                            " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"));
    const std::string bytes = stream.readAll();
    const size_t head = bytes.find("\r\n\r\n") + 4;
    EXPECT_EQ(bytes.compare(0, 12, "HTTP/1.1 200"), 0) << bytes.substr(0, 200);
    ASSERT_EQ(bytes.size() - head, size) << "the connection's close ends the body";
    size_t offset = 0;
    while (offset < size &&
           static_cast<unsigned char>(bytes[head + offset]) == testsupport::streamByte(offset)) {
        ++offset;
    }
    EXPECT_EQ(offset, size) << "a byte off the pattern";
}

}  // namespace chain
