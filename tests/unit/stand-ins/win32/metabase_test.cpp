// The IIS metabase of the Win32 stand-in: COM activation, IMSAdminBase's rules for keys,
// properties and inheritance, key locks between handles and processes, and its text file.
#include <iadmw.h>
#include <iiscnfg.h>
#include <objbase.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "forked_child.h"
#include "test_paths.h"

namespace {

const HRESULT kBusy = HRESULT_FROM_WIN32(ERROR_PATH_BUSY);
const HRESULT kNoPath = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
const HRESULT kDenied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
const HRESULT kBadHandle = HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
const HRESULT kNoData = HRESULT(MD_ERROR_DATA_NOT_FOUND);
const DWORD kRead = METADATA_PERMISSION_READ, kWrite = kRead | METADATA_PERMISSION_WRITE;
const DWORD kInherit = METADATA_INHERIT, kInherited = kInherit | METADATA_ISINHERITED;

// The UTF-16 strings' bytes, each with its terminating zero.
std::vector<BYTE> text(std::initializer_list<std::u16string> texts) {
    std::vector<BYTE> bytes;
    for (const std::u16string& one : texts) {
        const auto* data = reinterpret_cast<const BYTE*>(one.c_str());
        bytes.insert(bytes.end(), data, data + (one.size() + 1) * sizeof(char16_t));
    }
    return bytes;
}

std::vector<BYTE> dword(DWORD value) {
    return {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)};
}

IMSAdminBase* createAdminBase() {
    IMSAdminBase* admin = nullptr;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_MSAdminBase, nullptr, CLSCTX_ALL, IID_IMSAdminBase,
                                     reinterpret_cast<void**>(&admin)));
    return admin;
}

// Opens `path` for writing and sets properties 10000 to 10029 there.
HRESULT writeMany(IMSAdminBase* admin, const char16_t* path) {
    METADATA_HANDLE handle = 0;
    HRESULT result = admin->OpenKey(0, path, kWrite, 5000, &handle);
    for (DWORD i = 0; SUCCEEDED(result) && i < 30; ++i) {
        METADATA_RECORD record{10000 + i, 0, 1, DWORD_METADATA, sizeof i, (BYTE*)&i, 0};
        result = admin->SetData(handle, nullptr, &record);
    }
    admin->CloseKey(handle);
    return result;
}

struct Answer {
    HRESULT result = E_FAIL;
    DWORD attributes = 0, userType = 0, dataType = 0;
    std::vector<BYTE> data = {};
};

// An IMSAdminBase on a metabase file of the test's own, with helpers that take narrow paths.
// Handle 0 is the master root handle.
class Metabase : public testing::Test {
  protected:
    void SetUp() override {
        setenv("STANDIN_METABASE", file_.c_str(), 1);
        CoInitialize(nullptr);
        admin_ = createAdminBase();
    }
    void TearDown() override {
        if (admin_ != nullptr) {
            admin_->Release();
        }
        CoUninitialize();
        unsetenv("STANDIN_METABASE");
    }

    // The handle is left in opened_.
    HRESULT openKey(const std::string& path, DWORD access, DWORD timeoutMs = 0,
                    IMSAdminBase* admin = nullptr) {
        return (admin != nullptr ? admin : admin_)
            ->OpenKey(0, wide(path).c_str(), access, timeoutMs, &opened_);
    }
    HRESULT addKey(METADATA_HANDLE handle, const std::string& path) {
        return admin_->AddKey(handle, wide(path).c_str());
    }
    // Makes the keys, then opens `path` for writing.
    METADATA_HANDLE writable(const std::string& path, std::initializer_list<std::string> keys) {
        EXPECT_EQ(S_OK, openKey("/", kWrite));
        for (const std::string& key : keys) {
            EXPECT_EQ(S_OK, addKey(opened_, key)) << key;
        }
        admin_->CloseKey(opened_);
        EXPECT_EQ(S_OK, openKey(path, kWrite)) << path;
        return opened_;
    }
    void makeKeys(std::initializer_list<std::string> keys) {
        admin_->CloseKey(writable("/", keys));
    }
    HRESULT set(METADATA_HANDLE handle, const std::string& path, DWORD identifier, DWORD attributes,
                DWORD dataType, std::vector<BYTE> data, DWORD userType = IIS_MD_UT_FILE) {
        METADATA_RECORD record{identifier,         attributes,  userType, dataType,
                               DWORD(data.size()), data.data(), 0};
        return admin_->SetData(handle, wide(path).c_str(), &record);
    }
    Answer get(const std::string& path, DWORD identifier, DWORD attributes = 0,
               DWORD dataType = ALL_METADATA, DWORD userType = ALL_METADATA) {
        std::vector<BYTE> buffer(4096);
        METADATA_RECORD record{identifier,           attributes,    userType, dataType,
                               DWORD(buffer.size()), buffer.data(), 0};
        DWORD required = 0;
        HRESULT result = admin_->GetData(0, wide(path).c_str(), &record, &required);
        buffer.resize(result == S_OK ? record.dwMDDataLen : 0);
        return {result, record.dwMDAttributes, record.dwMDUserType, record.dwMDDataType, buffer};
    }
    // The names of the key's children; `end` gets what ended the enumeration.
    std::vector<std::string> children(const std::string& path, HRESULT* end = nullptr) {
        std::vector<std::string> names;
        WCHAR name[METADATA_MAX_NAME_LEN];
        HRESULT result;
        while ((result = admin_->EnumKeys(0, wide(path).c_str(), name, DWORD(names.size()))) ==
               S_OK) {
            names.emplace_back(name, name + std::char_traits<char16_t>::length(name));
        }
        if (end != nullptr) {
            *end = result;
        }
        return names;
    }
    static std::u16string wide(const std::string& text) {
        return std::u16string(text.begin(), text.end());
    }

    testsupport::ScratchDir scratch_{"metabase"};
    std::string file_ = scratch_.file("metabase.mb");
    IMSAdminBase* admin_ = nullptr;
    METADATA_HANDLE opened_ = 0;
};

TEST(MetabaseCom, ActivationNeedsAnInitialisedThreadAndCountsItsInitialisations) {
    std::thread([] {
        void* object = &object;
        EXPECT_EQ(CO_E_NOTINITIALIZED, CoCreateInstance(CLSID_MSAdminBase, nullptr, CLSCTX_ALL,
                                                        IID_IMSAdminBase, &object));
        EXPECT_EQ(nullptr, object);
        EXPECT_EQ(S_OK, CoInitialize(nullptr));
        EXPECT_EQ(S_FALSE, CoInitialize(nullptr));
        CoUninitialize();
        createAdminBase()->Release();  // one initialisation left
        CoUninitialize();
        EXPECT_EQ(CO_E_NOTINITIALIZED, CoCreateInstance(CLSID_MSAdminBase, nullptr, CLSCTX_ALL,
                                                        IID_IMSAdminBase, &object));
    }).join();
}

TEST(MetabaseCom, OneObjectAnswersForBothInterfacesAndCountsReferences) {
    CoInitialize(nullptr);
    void* object = nullptr;
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(IID_IMSAdminBase, nullptr, CLSCTX_ALL, IID_IMSAdminBase, &object));
    EXPECT_EQ(E_NOINTERFACE,
              CoCreateInstance(CLSID_MSAdminBase, nullptr, CLSCTX_ALL, CLSID_MSAdminBase, &object));
    IUnknown* unknown = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_MSAdminBase, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              CoCreateInstance(CLSID_MSAdminBase, unknown, CLSCTX_ALL, IID_IMSAdminBase, &object));
    IMSAdminBase* admin = nullptr;
    ASSERT_EQ(S_OK, unknown->QueryInterface(IID_IMSAdminBase, reinterpret_cast<void**>(&admin)));
    EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(admin));
    EXPECT_EQ(1u, unknown->Release());
    EXPECT_EQ(0u, admin->Release());
    CoUninitialize();
}

// Every data type, attribute and user type, written in the documented form and read back
// from a copy of the file, which has nothing cached behind it.
TEST_F(Metabase, TheFileIsWrittenInTheDocumentedFormAndReadsBackByteForByte) {
    METADATA_HANDLE root = writable("/", {"/LM/W3SVC/1/ROOT", "/LM/MimeMap"});
    const struct {
        const char* path;
        DWORD identifier, attributes, userType, dataType;
        std::vector<BYTE> data;
    } cases[] = {
        {"/LM", 50000, 0, 300, BINARY_METADATA, {0x00, 0xff, 0x0a, 0x22, 0x5c}},
        {"/LM", 9002, 0x400, IIS_MD_UT_SERVER, BINARY_METADATA, {}},
        {"/LM/W3SVC/1", MD_SERVER_BINDINGS, 0, IIS_MD_UT_SERVER, MULTISZ_METADATA,
         text({u":80:", u""})},
        {"/LM/W3SVC/1", MD_SECURE_BINDINGS, 0, IIS_MD_UT_SERVER, MULTISZ_METADATA, {0, 0}},
        {"/LM/W3SVC/1", MD_SERVER_COMMENT, 0, 7777, EXPANDSZ_METADATA,
         text({{u'a', char16_t(0xD800), u'b'}})},
        {"/LM/W3SVC/1/ROOT", MD_VR_PATH, kInherit | METADATA_SECURE, IIS_MD_UT_FILE,
         STRING_METADATA, text({u"/srv/\\\"www\\u\"Gr\u00fc\u00dfe \U0001D11E\t\n"})},
        {"/LM/W3SVC/1/ROOT", MD_ACCESS_PERM, kInherit | 0x1000, IIS_MD_UT_FILE, DWORD_METADATA,
         dword(0x80000205)},
        {"/LM/MimeMap", MD_MIME_MAP, kInherit, IIS_MD_UT_FILE, MULTISZ_METADATA,
         text({u".htm,text/html", u".a", u""})},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(S_OK,
                  set(root, c.path, c.identifier, c.attributes, c.dataType, c.data, c.userType));
    }
    EXPECT_EQ(
        "# The IIS metabase of the Linux stand-in; the format is described in docs/metabase.md.\n"
        "# Programs rewrite this file when they change the metabase: comments are not kept.\n"
        "\n"
        "[/LM]\n"
        "50000 300 NONE BINARY 00 ff 0a 22 5c\n"
        "9002 SERVER 0x400 BINARY\n"
        "\n"
        "[/LM/W3SVC]\n"
        "\n"
        "[/LM/W3SVC/1]\n"
        "MD_SERVER_BINDINGS=1023 SERVER NONE MULTISZ \":80:\"\n"
        "MD_SECURE_BINDINGS=2021 SERVER NONE MULTISZ\n"
        "MD_SERVER_COMMENT=1015 7777 NONE EXPANDSZ \"a\\uD800b\"\n"
        "\n"
        "[/LM/W3SVC/1/ROOT]\n"
        "MD_VR_PATH=3001 FILE INHERIT|SECURE STRING "
        "\"/srv/\\\\\\\"www\\\\u\\\"Gr\u00fc\u00dfe \U0001D11E\\u0009\\u000A\"\n"
        "MD_ACCESS_PERM=6016 FILE INHERIT|0x1000 DWORD 0x80000205\n"
        "\n"
        "[/LM/MimeMap]\n"
        "MD_MIME_MAP=6015 FILE INHERIT MULTISZ \\\n"
        "    \".htm,text/html\" \\\n"
        "    \".a\"\n",
        testsupport::readFile(file_));
    std::filesystem::copy_file(file_, scratch_.file("copy.mb"));
    setenv("STANDIN_METABASE", scratch_.file("copy.mb").c_str(), 1);
    for (const auto& c : cases) {
        Answer answer = get(c.path, c.identifier);
        EXPECT_EQ(S_OK, answer.result) << c.identifier;
        EXPECT_EQ(c.attributes, answer.attributes) << c.identifier;
        EXPECT_EQ(c.userType, answer.userType) << c.identifier;
        EXPECT_EQ(c.dataType, answer.dataType) << c.identifier;
        EXPECT_EQ(c.data, answer.data) << c.identifier;
    }
}

TEST_F(Metabase, SetDataTakesTextUpToItsEndAndRefusesTextWithoutOne) {
    METADATA_HANDLE handle = writable("/LM", {"/LM"});
    const struct {
        DWORD dataType;
        std::vector<BYTE> given;
        HRESULT result;
        std::vector<BYTE> stored;
    } cases[] = {
        {STRING_METADATA, {'o', 0, 0, 0, 'x', 0}, S_OK, text({u"o"})},
        {MULTISZ_METADATA, text({u"a", u"", u"z", u""}), S_OK, text({u"a", u""})},
        {STRING_METADATA, {'a', 0, 'b', 0}, E_INVALIDARG, {}},
        {MULTISZ_METADATA, {'a', 0, 0, 0}, E_INVALIDARG, {}},
        {DWORD_METADATA, {1, 0}, E_INVALIDARG, {}},
        {INVALID_END_METADATA, dword(1), E_INVALIDARG, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.result, set(handle, "", 1, 0, c.dataType, c.given)) << &c - cases;
        EXPECT_EQ(c.stored, get("/LM", 1).data) << &c - cases;
        admin_->DeleteData(handle, nullptr, 1, ALL_METADATA);
    }
    EXPECT_EQ(kNoPath, set(handle, "missing", 3, 0, DWORD_METADATA, dword(1)));
}

TEST_F(Metabase, GetDataTellsTheSizeNeededWhenTheBufferIsTooSmall) {
    METADATA_HANDLE handle = writable("/LM", {"/LM"});
    ASSERT_EQ(S_OK, set(handle, "", MD_VR_PATH, 0, STRING_METADATA, text({u"/srv/www"})));
    BYTE buffer[18] = {0xcc};
    METADATA_RECORD record{MD_VR_PATH, 0, ALL_METADATA, ALL_METADATA, 17, buffer, 0};
    DWORD required = 0;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER),
              admin_->GetData(handle, nullptr, &record, &required));
    EXPECT_EQ(18u, required);
    EXPECT_EQ(0xcc, buffer[0]);
    record.dwMDDataLen = 18;
    EXPECT_EQ(S_OK, admin_->GetData(handle, nullptr, &record, &required));
}

TEST_F(Metabase, ARequestMatchesOnlyItsUserTypeAndDataType) {
    METADATA_HANDLE handle = writable("/LM", {"/LM"});
    ASSERT_EQ(S_OK, set(handle, "", MD_ACCESS_PERM, 0, DWORD_METADATA, dword(5)));
    EXPECT_EQ(S_OK, get("/LM", MD_ACCESS_PERM, 0, DWORD_METADATA, IIS_MD_UT_FILE).result);
    EXPECT_EQ(kNoData, get("/LM", MD_ACCESS_PERM, 0, ALL_METADATA, IIS_MD_UT_SERVER).result);
    EXPECT_EQ(kNoData, get("/LM", MD_ACCESS_PERM, 0, STRING_METADATA).result);
    EXPECT_EQ(kNoData, admin_->DeleteData(handle, nullptr, MD_ACCESS_PERM, STRING_METADATA));
    EXPECT_EQ(S_OK, admin_->DeleteData(handle, nullptr, MD_ACCESS_PERM, DWORD_METADATA));
}

TEST_F(Metabase, KeysInheritWhatTheirParentsStoreAsInheritable) {
    METADATA_HANDLE site = writable("/LM/W3SVC/1", {"/LM/W3SVC/1/ROOT/Scripts"});
    ASSERT_EQ(S_OK, set(site, "", MD_ACCESS_PERM, kInherit, DWORD_METADATA, dword(1)));
    ASSERT_EQ(S_OK, set(site, "", MD_SERVER_COMMENT, 0, STRING_METADATA, text({u"site"})));
    ASSERT_EQ(S_OK, set(site, "ROOT", MD_ACCESS_PERM, kInherit, STRING_METADATA, text({u"s"})));
    ASSERT_EQ(S_OK, set(site, "ROOT/Scripts", MD_VR_PATH, kInherit, STRING_METADATA, text({u"v"})));
    const std::string scripts = "/LM/W3SVC/1/ROOT/Scripts", below = scripts + "/app/x.jsp";
    const struct {
        std::string path;
        DWORD identifier, attributes, dataType;
        HRESULT result;
        DWORD answerAttributes;
        std::vector<BYTE> data;
    } cases[] = {
        {scripts, MD_ACCESS_PERM, kInherit, DWORD_METADATA, S_OK, kInherited, dword(1)},
        {scripts, MD_ACCESS_PERM, kInherit, ALL_METADATA, S_OK, kInherited, text({u"s"})},
        {scripts, MD_VR_PATH, kInherit, ALL_METADATA, S_OK, kInherit, text({u"v"})},
        {scripts, MD_ACCESS_PERM, 0, ALL_METADATA, kNoData, 0, {}},
        {scripts, MD_SERVER_COMMENT, kInherit, ALL_METADATA, kNoData, 0, {}},  // not inheritable
        {below, MD_VR_PATH, kInherit, ALL_METADATA, kNoPath, 0, {}},
        {below, MD_VR_PATH, kInherit | METADATA_PARTIAL_PATH, 0, S_OK, kInherited, text({u"v"})},
    };
    for (const auto& c : cases) {
        Answer answer = get(c.path, c.identifier, c.attributes, c.dataType);
        EXPECT_EQ(c.result, answer.result) << &c - cases;
        EXPECT_EQ(c.data, answer.data) << &c - cases;
        EXPECT_TRUE(c.result != S_OK || c.answerAttributes == answer.attributes) << &c - cases;
    }
}

TEST_F(Metabase, EnumDataListsOwnPropertiesThenInheritedOnesEachOnce) {
    METADATA_HANDLE site = writable("/LM", {"/LM/1/2"});
    ASSERT_EQ(S_OK, set(site, "", 7, kInherit, DWORD_METADATA, dword(1)));
    ASSERT_EQ(S_OK, set(site, "1", 7, kInherit, DWORD_METADATA, dword(2)));
    ASSERT_EQ(S_OK, set(site, "1", 8, kInherit, DWORD_METADATA, dword(3)));
    ASSERT_EQ(S_OK, set(site, "1/2", 9, kInherit, DWORD_METADATA, dword(4)));
    std::vector<BYTE> seen;
    BYTE buffer[4];
    METADATA_RECORD record{0, kInherit, 0, 0, sizeof buffer, buffer, 0};
    DWORD required = 0;
    while (admin_->EnumData(0, u"/LM/1/2", &record, DWORD(seen.size()), &required) == S_OK) {
        seen.push_back(buffer[0]);
    }
    EXPECT_EQ(std::vector<BYTE>({4, 2, 3}), seen);
}

TEST_F(Metabase, KeysListInCreationOrderAndMatchWithoutRegardToCase) {
    METADATA_HANDLE service =
        writable("/LM/W3SVC", {"/LM/W3SVC/2", "LM\\W3SVC\\10", "/lm/w3svc/1/"});
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), addKey(service, "//1"));
    EXPECT_EQ(S_OK, addKey(service, "Filters/Brevant_ISAPI"));
    HRESULT end = S_OK;
    EXPECT_EQ(std::vector<std::string>({"2", "10", "1", "Filters"}), children("/LM/W3SVC", &end));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS), end);
    EXPECT_EQ(std::vector<std::string>({"Brevant_ISAPI"}), children("/lm/W3SVC/FILTERS"));
    children("/LM/nothing", &end);
    EXPECT_EQ(kNoPath, end);
}

TEST_F(Metabase, DeletingKeysTakesTheirChildren) {
    METADATA_HANDLE service = writable("/LM/W3SVC", {"/LM/W3SVC/1", "/LM/W3SVC/Filters/B"});
    EXPECT_EQ(kNoPath, admin_->DeleteKey(service, u"3"));
    EXPECT_EQ(E_INVALIDARG, admin_->DeleteKey(service, u""));
    EXPECT_EQ(S_OK, admin_->DeleteKey(service, u"filters"));
    EXPECT_EQ(kNoPath, get("/LM/W3SVC/Filters/B", 1).result);
    EXPECT_EQ(S_OK, admin_->DeleteChildKeys(service, nullptr));
    EXPECT_EQ(std::vector<std::string>{}, children("/LM/W3SVC"));
}

TEST_F(Metabase, KeyNamesAreShorterThanTheLongestName) {
    std::string name(METADATA_MAX_NAME_LEN, 'k');
    EXPECT_EQ(E_INVALIDARG, addKey(writable("/", {}), name));
    name.pop_back();
    EXPECT_EQ(S_OK, addKey(opened_, name));
}

TEST_F(Metabase, ChangesNeedAnOpenHandleWithWritePermission) {
    makeKeys({"/LM"});
    ASSERT_EQ(S_OK, openKey("/LM", kRead));
    EXPECT_EQ(kDenied, addKey(METADATA_MASTER_ROOT_HANDLE, "/LM/W3SVC"));
    EXPECT_EQ(kDenied, addKey(opened_, "W3SVC"));
    EXPECT_EQ(kDenied, set(opened_, "", 1, 0, DWORD_METADATA, dword(1)));
    EXPECT_EQ(S_OK, admin_->CloseKey(opened_));
    EXPECT_EQ(kBadHandle, admin_->CloseKey(opened_));
    EXPECT_EQ(kBadHandle, addKey(opened_, "W3SVC"));
    EXPECT_EQ(E_INVALIDARG, openKey("/LM", 4));
}

TEST_F(Metabase, HandlesBelongToTheirObjectAndCloseWithItsLastRelease) {
    METADATA_HANDLE handle = writable("/LM", {"LM"});
    IMSAdminBase* other = createAdminBase();
    EXPECT_EQ(kBadHandle, other->CloseKey(handle));
    EXPECT_EQ(kBusy, openKey("/LM", kRead, 0, other));
    admin_->Release();
    admin_ = nullptr;
    EXPECT_EQ(S_OK, openKey("/LM", kRead, 0, other));
    other->Release();
}

TEST_F(Metabase, WithoutAFileTheMetabaseIsEmptyAndCannotBeWritten) {
    unsetenv("STANDIN_METABASE");
    ASSERT_EQ(S_OK, openKey("/", kWrite));
    EXPECT_EQ(kDenied, addKey(opened_, "LM"));
    EXPECT_EQ(kDenied, set(opened_, "", 1, 0, DWORD_METADATA, dword(1)));
    EXPECT_FALSE(std::filesystem::exists(file_));
}

TEST_F(Metabase, ReadersShareAKeyAndKeepWritersOfItsWholeLineButNotSiblingsOut) {
    makeKeys({"/LM/W3SVC/1/ROOT", "/LM/W3SVC/10"});
    ASSERT_EQ(S_OK, openKey("/LM/W3SVC/1", kRead));
    EXPECT_EQ(S_OK, openKey("/lm/w3svc/1", kRead));
    for (const char* path : {"/LM/W3SVC/1", "/LM", "/", "/LM/W3SVC/1/ROOT"}) {
        EXPECT_EQ(kBusy, openKey(path, kWrite)) << path;
    }
    EXPECT_EQ(S_OK, openKey("/LM/W3SVC/10", kWrite));
    EXPECT_EQ(kNoData, get("/LM/W3SVC/1", 1).result) << "the master root handle takes no lock";
}

TEST_F(Metabase, AWriterKeepsReadersOfItsWholeLineOut) {
    makeKeys({"/LM/W3SVC/1/ROOT"});
    ASSERT_EQ(S_OK, openKey("/LM/W3SVC/1", kRead));
    METADATA_HANDLE handle = opened_;
    ASSERT_EQ(S_OK, admin_->ChangePermissions(handle, 0, kWrite));
    EXPECT_EQ(kBusy, openKey("/LM/W3SVC/1/ROOT", kRead));
    EXPECT_EQ(kBusy, openKey("/LM", kRead));
    ASSERT_EQ(S_OK, admin_->ChangePermissions(handle, 0, kRead));
    EXPECT_EQ(S_OK, openKey("/LM/W3SVC/1/ROOT", kRead));
}

TEST_F(Metabase, AWaitingOpenGetsTheKeyWhenTheWriterLetsGoOrGivesUpAtItsTimeout) {
    METADATA_HANDLE writer = writable("/LM/W3SVC", {"/LM/W3SVC/1"});
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(kBusy, openKey("/LM/W3SVC/1", kRead, 300));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        admin_->CloseKey(writer);
    });
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(S_OK, openKey("/LM/W3SVC/1", kWrite, 10000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    closer.join();
}

TEST_F(Metabase, AHandleOfAnotherProcessLocksUntilThatProcessDies) {
    makeKeys({"/LM/W3SVC/1/ROOT"});
    auto child = std::make_unique<win32test::ForkedChild>([] {
        METADATA_HANDLE held = 0;
        return long(createAdminBase()->OpenKey(0, u"/LM/W3SVC", kWrite, 0, &held));
    });
    ASSERT_EQ(S_OK, child->result());
    EXPECT_EQ(kBusy, openKey("/LM/W3SVC/1/ROOT", kRead));
    child.reset();
    EXPECT_EQ(S_OK, openKey("/LM/W3SVC/1/ROOT", kRead));
}

TEST_F(Metabase, ProcessesWritingAtOnceLoseNothing) {
    makeKeys({"/LM/W3SVC/1", "/LM/W3SVC/2"});
    get("/LM/W3SVC/1", 1);  // read once, so that a stale copy could be kept
    win32test::ForkedChild child([] { return long(writeMany(createAdminBase(), u"/LM/W3SVC/2")); });
    EXPECT_EQ(S_OK, writeMany(admin_, u"/LM/W3SVC/1"));
    ASSERT_EQ(S_OK, child.result());
    for (const char* site : {"/LM/W3SVC/1", "/LM/W3SVC/2"}) {
        for (DWORD i = 0; i < 30; ++i) {
            ASSERT_EQ(dword(i), get(site, 10000 + i).data) << site << " " << i;
        }
    }
}

TEST_F(Metabase, AHandWrittenFileReadsAsMeantAndABadLineCostsOnlyItself) {
    testsupport::writeFile(file_,
                           "# written by hand\r\n"
                           "[/LM/W3SVC/1]\r\n"
                           "  md_server_comment FILE 0 STRING \"Caf\\u00e9 \\\"b\\\"\"  \r\n"
                           "MD_SERVER_BINDINGS=1023 1 NONE MULTISZ \\\r\n"
                           "    # the first binding\r\n"
                           "    \":80:\" \\\r\n"
                           "    \"127.0.0.1:8080:\"\r\n"
                           "MY_OWN=70000 100 INHERIT|SECURE|0x400 BINARY 00ff \\\r\n"
                           "    10\r\n"
                           "MD_VR_PATH=3002 FILE INHERIT STRING \"mismatch\"\r\n"
                           "[/LM/W3SVC/bad\tname]\r\n"
                           "6016 FILE INHERIT DWORD 1\r\n"
                           "[/LM/W3SVC/1/ROOT]\r\n"
                           "6016 FILE INHERIT DWORD 517\r\n");
    EXPECT_EQ(text({u"Caf\u00e9 \"b\""}), get("/lm/w3svc/1", MD_SERVER_COMMENT).data);
    EXPECT_EQ(text({u":80:", u"127.0.0.1:8080:", u""}),
              get("/LM/W3SVC/1", MD_SERVER_BINDINGS).data);
    Answer own = get("/LM/W3SVC/1", 70000);
    EXPECT_EQ(DWORD(kInherit | METADATA_SECURE | 0x400), own.attributes);
    EXPECT_EQ(DWORD(IIS_MD_UT_WAM), own.userType);
    EXPECT_EQ(std::vector<BYTE>({0x00, 0xff, 0x10}), own.data);
    EXPECT_EQ(dword(517), get("/LM/W3SVC/1/ROOT", MD_ACCESS_PERM).data);
    EXPECT_EQ(kNoData, get("/LM/W3SVC/1", MD_VR_PATH).result);
    EXPECT_EQ(std::vector<std::string>({"1"}), children("/LM/W3SVC"));
    std::string output = testsupport::readFile(std::getenv("STANDIN_DEBUG_OUTPUT"));
    EXPECT_NE(std::string::npos, output.find("metabase: " + file_ + ":10: bad identifier"));
    EXPECT_NE(std::string::npos, output.find("metabase: " + file_ + ":11: bad key name"));
    EXPECT_EQ(std::string::npos, output.find(file_ + ":12:"));
}

}  // namespace
