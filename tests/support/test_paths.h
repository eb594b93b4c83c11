// Scratch folders and small file helpers for tests, on Linux and on Windows alike.
#ifndef TESTS_SUPPORT_TEST_PATHS_H
#define TESTS_SUPPORT_TEST_PATHS_H

#include <string>

namespace testsupport {

// A new empty folder under the system's temporary folder, named after `tag`; the caller
// removes it (ScratchDir does so itself).
std::string makeTempDir(const std::string& tag);

// The whole content of a file, or "" when it cannot be read.
std::string readFile(const std::string& path);

// Replaces a file's content.
void writeFile(const std::string& path, const std::string& content);

// The platform's path separator as text: "\\" on Windows, "/" elsewhere.
const char* pathSeparator();

// A scratch folder that is removed with everything in it when the object goes.
class ScratchDir {
  public:
    explicit ScratchDir(const std::string& tag) : path_(makeTempDir(tag)) {}
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + separator + name
    std::string file(const std::string& name) const { return path_ + pathSeparator() + name; }

  private:
    std::string path_;
};

}  // namespace testsupport

#endif  // TESTS_SUPPORT_TEST_PATHS_H
