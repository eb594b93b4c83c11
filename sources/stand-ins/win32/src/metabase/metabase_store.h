// The metabase as kept in the text file named by STANDIN_METABASE, which several processes
// read and write as SharedTextFile shares it; while the variable is unset the metabase is
// empty and read-only. Lines of the file that cannot be understood are reported through
// OutputDebugStringA, with the file's name and the line's number, whenever a process reads
// the file.
//
// Owns the parsed copy of the file, through its SharedTextFile. Any thread may call. One
// mutex serialises the calls of the process, callbacks included.
#ifndef STANDIN_WIN32_METABASE_METABASE_STORE_H
#define STANDIN_WIN32_METABASE_METABASE_STORE_H

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "stand-ins/win32/src/metabase/metabase_tree.h"
#include "stand-ins/win32/src/shared_text_file.h"

namespace standin::metabase {

// The file named by STANDIN_METABASE, or nothing while it is unset or empty.
std::optional<std::string> metabasePath();

class MetabaseStore {
  public:
    // Looks at the metabase.
    using Reader = std::function<HRESULT(const MetabaseKey& root)>;
    // Changes the metabase and returns S_OK, or returns an error having changed nothing.
    using Writer = std::function<HRESULT(MetabaseKey& root)>;

    static MetabaseStore& instance();

    // The reader's result, or the error that kept the file from being read.
    HRESULT read(const Reader& reader);

    // The writer's result once its change is in the file, or the error that kept it out.
    // When the metabase is read-only, a writer that would change something gets
    // HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), and one that fails keeps its own error.
    HRESULT write(const Writer& writer);

  private:
    MetabaseStore();

    SharedTextFile<std::unique_ptr<MetabaseKey>> file_;
};

}  // namespace standin::metabase

#endif  // STANDIN_WIN32_METABASE_METABASE_STORE_H
