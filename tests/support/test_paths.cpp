#include "test_paths.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "native/common/basics/path_separator.h"

namespace testsupport {

std::string makeTempDir(const std::string& tag) {
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        std::ostringstream name;
        name << "brevant-" << tag << "-" << stamp << "-" << counter++;
        std::filesystem::path dir = std::filesystem::temp_directory_path() / name.str();
        std::error_code error;
        if (std::filesystem::create_directory(dir, error)) {
            return dir.string();
        }
    }
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

const char* pathSeparator() {
    static constexpr char kText[] = {brevant::kPathSeparator, '\0'};
    return kText;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace testsupport
