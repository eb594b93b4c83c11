// isapihost configured only through the metabase, as IIS is: sites, virtual directories,
// default documents and the filter load order that filter registration writes.
#include <iadmw.h>
#include <iiscnfg.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "http_client.h"
#include "server_process.h"
#include "test_paths.h"

namespace {

std::u16string wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

// Writes metabase properties the way an installer does, through IMSAdminBase.
class MetabaseWriter {
  public:
    MetabaseWriter() {
        CoInitialize(nullptr);
        EXPECT_EQ(CoCreateInstance(CLSID_MSAdminBase, nullptr, CLSCTX_ALL, IID_IMSAdminBase,
                                   reinterpret_cast<void**>(&admin_)),
                  S_OK);
        EXPECT_EQ(
            admin_->OpenKey(METADATA_MASTER_ROOT_HANDLE, wide("/").c_str(),
                            METADATA_PERMISSION_READ | METADATA_PERMISSION_WRITE, 1000, &handle_),
            S_OK);
    }
    ~MetabaseWriter() {
        admin_->CloseKey(handle_);
        admin_->SaveData();
        admin_->Release();
    }
    void string(const std::string& path, DWORD id, DWORD userType, const std::string& value) {
        std::u16string data = wide(value);
        set(path, id, userType, STRING_METADATA, data.c_str(), (data.size() + 1) * 2);
    }
    void multi(const std::string& path, DWORD id, DWORD userType, const std::string& value) {
        std::u16string data = wide(value);
        data.push_back(0);
        set(path, id, userType, MULTISZ_METADATA, data.c_str(), (data.size() + 1) * 2);
    }
    void dword(const std::string& path, DWORD id, DWORD userType, DWORD value) {
        set(path, id, userType, DWORD_METADATA, &value, sizeof value);
    }
    void removeKey(const std::string& path) {
        EXPECT_EQ(admin_->DeleteKey(handle_, wide(path).c_str()), S_OK);
    }

  private:
    void set(const std::string& path, DWORD id, DWORD userType, DWORD type, const void* data,
             size_t size) {
        admin_->AddKey(handle_, wide(path).c_str());
        METADATA_RECORD record{
            id,   METADATA_INHERIT,         userType,
            type, static_cast<DWORD>(size), static_cast<unsigned char*>(const_cast<void*>(data)),
            0};
        EXPECT_EQ(admin_->SetData(handle_, wide(path).c_str(), &record), S_OK) << path;
    }
    IMSAdminBase* admin_ = nullptr;
    METADATA_HANDLE handle_ = 0;
};

class IsapihostFromMetabase : public testing::Test {
  protected:
    void SetUp() override {
        metabase_ = scratch_.file("metabase.txt");
        setenv("STANDIN_METABASE", metabase_.c_str(), 1);
        std::string www = scratch_.path() + "/www";
        std::filesystem::create_directories(www + "/docs");
        testsupport::writeFile(www + "/docs/start.html", "<html>start</html>");
        MetabaseWriter writer;
        writer.multi("/LM/W3SVC/3", MD_SERVER_BINDINGS, IIS_MD_UT_SERVER, ":0:");
        writer.string("/LM/W3SVC/3/ROOT", MD_VR_PATH, IIS_MD_UT_FILE, www);
        writer.dword("/LM/W3SVC/3/ROOT", MD_ACCESS_PERM, IIS_MD_UT_FILE, MD_ACCESS_READ);
        writer.string("/LM/W3SVC/3/ROOT/Scripts", MD_VR_PATH, IIS_MD_UT_FILE,
                      std::getenv("TEST_MODULES"));
        writer.dword("/LM/W3SVC/3/ROOT/Scripts", MD_ACCESS_PERM, IIS_MD_UT_FILE,
                     MD_ACCESS_READ | MD_ACCESS_EXECUTE);
        // Server-wide default documents, inherited by the site.
        writer.string("/LM/W3SVC", MD_DEFAULT_LOAD_FILE, IIS_MD_UT_FILE, "default.htm, start.html");
        writer.dword("/LM/W3SVC", MD_DIRECTORY_BROWSING, IIS_MD_UT_FILE, MD_DIRBROW_LOADDEFAULT);
        writer.multi("/LM/MimeMap", MD_MIME_MAP, IIS_MD_UT_FILE, ".html,text/html");
    }

    void registerFilter(const std::string& order) {
        MetabaseWriter writer;
        writer.string("/LM/W3SVC/Filters/TestFilter", MD_FILTER_IMAGE_PATH, IIS_MD_UT_SERVER,
                      std::string(std::getenv("TEST_MODULES")) + "/TestFilter.dll");
        writer.dword("/LM/W3SVC/Filters/TestFilter", MD_FILTER_ENABLED, IIS_MD_UT_SERVER, 1);
        writer.string("/LM/W3SVC/Filters", MD_FILTER_LOAD_ORDER, IIS_MD_UT_SERVER, order);
    }

    bool start() {
        bool started = server_.start(
            testsupport::buildOutputFolder() + "/bin/isapihost", {},
            {{"STANDIN_METABASE", metabase_}, {"STANDIN_REGISTRY", scratch_.file("registry.reg")}},
            scratch_.file("isapihost.log"), "isapihost: listening on");
        port_ = server_.port();
        return started;
    }

    testsupport::ScratchDir scratch_{"isapihost-metabase"};
    std::string metabase_;
    testsupport::ServerProcess server_;
    int port_ = 0;
};

TEST_F(IsapihostFromMetabase, ServesTheSiteWithInheritedDefaultDocuments) {
    ASSERT_TRUE(start()) << server_.output();
    testsupport::HttpResponse response = testsupport::httpRequest(port_, "GET", "/docs/");
    EXPECT_EQ(response.body, "<html>start</html>");
    EXPECT_EQ(response.headers["content-type"], "text/html");
    EXPECT_EQ(testsupport::httpRequest(port_, "GET", "/Scripts/TestExtension.dll?keep").body,
              "kept\n");
}

TEST_F(IsapihostFromMetabase, ARegisteredFilterIsLoadedAtTheNextStartAndAnUnregisteredOneNot) {
    // Registration leaves names without keys and blanks behind; they are skipped.
    registerFilter(" Gone , testfilter,,");
    ASSERT_TRUE(start()) << server_.output();
    EXPECT_EQ(testsupport::httpRequest(port_, "GET", "/finish").body, "finished by the filter\n");
    EXPECT_NE(server_.output().find("\"Gone\""), std::string::npos) << "warned about it";
    ASSERT_EQ(server_.stop(), 0);

    {
        MetabaseWriter writer;
        writer.removeKey("/LM/W3SVC/Filters/TestFilter");
    }
    ASSERT_TRUE(start()) << server_.output();
    EXPECT_EQ(testsupport::httpRequest(port_, "GET", "/finish").status, 404);
}

TEST_F(IsapihostFromMetabase, PreparesTheRegistryAsAnInstalledIisHasIt) {
    ASSERT_TRUE(start()) << server_.output();
    std::string registry = testsupport::readFile(scratch_.file("registry.reg"));
    EXPECT_NE(registry.find("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\W3SVC\\"
                            "Parameters]"),
              std::string::npos)
        << registry;
}

}  // namespace
