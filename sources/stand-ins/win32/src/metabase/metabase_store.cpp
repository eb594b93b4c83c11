#include "stand-ins/win32/src/metabase/metabase_store.h"

#include <string_view>
#include <vector>

#include "stand-ins/win32/src/metabase/metabase_text.h"

namespace standin::metabase {

namespace {

using Root = std::unique_ptr<MetabaseKey>;

// An administrator's mistake in the file is told where Windows programs tell such things.
void reportProblems(const std::string& path, const std::vector<ParseProblem>& problems) {
    for (const ParseProblem& problem : problems) {
        std::string message = "metabase: " + path + ":" + std::to_string(problem.line) + ": " +
                              problem.message + (problem.ignored ? "; line ignored\n" : "\n");
        OutputDebugStringA(message.c_str());
    }
}

Root parse(const std::string& path, std::string_view text) {
    std::vector<ParseProblem> problems;
    Root root = parseMetabase(text, &problems);
    reportProblems(path, problems);
    return root;
}

}  // namespace

std::optional<std::string> metabasePath() {
    return fileNamedBy("STANDIN_METABASE");
}

MetabaseStore::MetabaseStore()
    : file_(
          "STANDIN_METABASE", [] { return std::make_unique<MetabaseKey>(std::string()); }, parse,
          [](const Root& root) { return formatMetabase(*root); }) {}

MetabaseStore& MetabaseStore::instance() {
    // Never destroyed: threads may still use the metabase while the process exits.
    static MetabaseStore* store = new MetabaseStore();
    return *store;
}

HRESULT MetabaseStore::read(const Reader& reader) {
    HRESULT result = S_OK;
    DWORD error =
        file_.read([&](const Root& root, std::optional<int64_t>) { result = reader(*root); });
    return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : result;
}

HRESULT MetabaseStore::write(const Writer& writer) {
    HRESULT result = S_OK;
    DWORD error = file_.write([&](Root& root) {
        result = writer(*root);
        return SUCCEEDED(result);
    });
    if (error != ERROR_SUCCESS) {
        return HRESULT_FROM_WIN32(error);
    }
    return FAILED(result) ? result : S_OK;  // a success means the change is in the file
}

}  // namespace standin::metabase
