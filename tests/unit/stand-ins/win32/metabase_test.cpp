// The IIS metabase of the Win32 stand-in: COM activation, IMSAdminBase's rules for keys,
// properties and inheritance, key locks between handles, threads and processes, and the
// text file that holds it all.
#include <iadmw.h>
#include <iiscnfg.h>
#include <objbase.h>
#include <windows.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "forked_child.h"
#include "test_paths.h"

namespace {

using Clock = std::chrono::steady_clock;

const HRESULT kPathBusy = HRESULT_FROM_WIN32(ERROR_PATH_BUSY);
const HRESULT kPathNotFound = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
const HRESULT kAccessDenied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
const HRESULT kInvalidHandle = HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
const HRESULT kNoMoreItems = HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);
const HRESULT kDataNotFound = HRESULT(MD_ERROR_DATA_NOT_FOUND);
const DWORD kRead = METADATA_PERMISSION_READ;
const DWORD kWrite = METADATA_PERMISSION_READ | METADATA_PERMISSION_WRITE;

std::u16string wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

// The UTF-16 strings' bytes, each with its terminating zero.
std::vector<BYTE> bytesOf(std::initializer_list<std::u16string> texts) {
    std::vector<BYTE> bytes;
    for (const std::u16string& text : texts) {
        const auto* data = reinterpret_cast<const BYTE*>(text.c_str());
        bytes.insert(bytes.end(), data, data + (text.size() + 1) * sizeof(char16_t));
    }
    return bytes;
}

std::vector<BYTE> dwordBytes(DWORD value) {
    const auto* bytes = reinterpret_cast<const BYTE*>(&value);
    return std::vector<BYTE>(bytes, bytes + sizeof value);
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

// Runs `body` in a forked process with an IMSAdminBase of its own.
std::unique_ptr<win32test::ForkedChild> inChild(HRESULT (*body)(IMSAdminBase* admin)) {
    return std::make_unique<win32test::ForkedChild>(
        [body] { return long(body(createAdminBase())); });
}

struct Answer {
    HRESULT result = E_FAIL;
    DWORD attributes = 0, userType = 0, dataType = 0;
    std::vector<BYTE> data;
};

// An IMSAdminBase on a metabase file of the test's own, with helpers that take narrow
// paths.
class Metabase : public testing::Test {
  protected:
    void SetUp() override {
        setenv("STANDIN_METABASE", file_.c_str(), 1);
        CoInitialize(nullptr);
        admin_ = createAdminBase();
        ASSERT_NE(nullptr, admin_);
    }
    void TearDown() override {
        if (admin_ != nullptr) {
            admin_->Release();
        }
        CoUninitialize();
        unsetenv("STANDIN_METABASE");
    }

    HRESULT openKey(const std::string& path, DWORD access, METADATA_HANDLE* handle,
                    DWORD timeoutMs = 0, IMSAdminBase* admin = nullptr) {
        return (admin != nullptr ? admin : admin_)
            ->OpenKey(METADATA_MASTER_ROOT_HANDLE, wide(path).c_str(), access, timeoutMs, handle);
    }
    // Makes the keys, then opens the first for writing; the handle is 0 on failure.
    METADATA_HANDLE writable(const std::string& path, const std::vector<std::string>& keys = {}) {
        METADATA_HANDLE root = 0;
        EXPECT_EQ(S_OK, openKey("/", kWrite, &root));
        for (const std::string& key : keys) {
            EXPECT_EQ(S_OK, admin_->AddKey(root, wide(key).c_str())) << key;
        }
        admin_->CloseKey(root);
        METADATA_HANDLE handle = 0;
        EXPECT_EQ(S_OK, openKey(path, kWrite, &handle)) << path;
        return handle;
    }
    HRESULT set(METADATA_HANDLE handle, const std::string& path, DWORD identifier, DWORD attributes,
                DWORD userType, DWORD dataType, std::vector<BYTE> data) {
        METADATA_RECORD record{identifier,         attributes,  userType, dataType,
                               DWORD(data.size()), data.data(), 0};
        return admin_->SetData(handle, wide(path).c_str(), &record);
    }
    Answer get(METADATA_HANDLE handle, const std::string& path, DWORD identifier,
               DWORD attributes = METADATA_NO_ATTRIBUTES, DWORD userType = ALL_METADATA,
               DWORD dataType = ALL_METADATA) {
        Answer answer;
        std::vector<BYTE> buffer(4096, 0xcc);
        METADATA_RECORD record{identifier,           attributes,    userType, dataType,
                               DWORD(buffer.size()), buffer.data(), 0};
        DWORD required = 0;
        answer.result = admin_->GetData(handle, wide(path).c_str(), &record, &required);
        if (answer.result == S_OK) {
            answer = {S_OK, record.dwMDAttributes, record.dwMDUserType, record.dwMDDataType,
                      std::vector<BYTE>(buffer.begin(), buffer.begin() + record.dwMDDataLen)};
        }
        return answer;
    }
    // The names of the key's children; `end` gets what ended the enumeration.
    std::vector<std::string> childNames(const std::string& path, HRESULT* end = nullptr) {
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
    std::string debugOutput() const {
        return testsupport::readFile(std::getenv("STANDIN_DEBUG_OUTPUT"));
    }

    testsupport::ScratchDir scratch_{"metabase"};
    std::string file_ = scratch_.file("metabase.mb");
    IMSAdminBase* admin_ = nullptr;
};

TEST(MetabaseCom, ActivationNeedsAnInitialisedThreadAndCountsItsInitialisations) {
    std::thread([] {
        void* object = &object;
        EXPECT_EQ(CO_E_NOTINITIALIZED, CoCreateInstance(CLSID_MSAdminBase, nullptr, CLSCTX_ALL,
                                                        IID_IMSAdminBase, &object));
        EXPECT_EQ(nullptr, object);
        EXPECT_EQ(S_OK, CoInitialize(nullptr));
        EXPECT_EQ(S_FALSE, CoInitialize(nullptr));
        EXPECT_EQ(RPC_E_CHANGED_MODE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        CoUninitialize();
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_MSAdminBase, nullptr, CLSCTX_LOCAL_SERVER,
                                         IID_IMSAdminBase, &object));
        static_cast<IMSAdminBase*>(object)->Release();
        CoUninitialize();
        EXPECT_EQ(CO_E_NOTINITIALIZED, CoCreateInstance(CLSID_MSAdminBase, nullptr, CLSCTX_ALL,
                                                        IID_IMSAdminBase, &object));
    }).join();
}

TEST(MetabaseCom, RefusesWhatItCannotMakeAndCountsReferences) {
    CoInitialize(nullptr);
    void* object = nullptr;
    IMSAdminBase* outer = createAdminBase();
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              CoCreateInstance(CLSID_MSAdminBase, outer, CLSCTX_ALL, IID_IMSAdminBase, &object));
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(IID_IMSAdminBase, nullptr, CLSCTX_ALL, IID_IMSAdminBase, &object));
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(CLSID_MSAdminBase, nullptr, CLSCTX_INPROC_HANDLER, IID_IMSAdminBase,
                               &object));
    EXPECT_EQ(E_NOINTERFACE,
              CoCreateInstance(CLSID_MSAdminBase, nullptr, CLSCTX_ALL, CLSID_MSAdminBase, &object));
    EXPECT_EQ(nullptr, object);
    outer->Release();
    IUnknown* unknown = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_MSAdminBase, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     reinterpret_cast<void**>(&unknown)));
    IMSAdminBase* admin = nullptr;
    ASSERT_EQ(S_OK, unknown->QueryInterface(IID_IMSAdminBase, reinterpret_cast<void**>(&admin)));
    EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(admin));
    EXPECT_EQ(E_NOINTERFACE, admin->QueryInterface(CLSID_MSAdminBase, &object));
    EXPECT_EQ(3u, admin->AddRef());
    EXPECT_EQ(2u, admin->Release());
    EXPECT_EQ(1u, unknown->Release());
    EXPECT_EQ(E_NOTIMPL, admin->CopyKey(0, nullptr, 0, nullptr, FALSE, FALSE));
    EXPECT_EQ(0u, admin->Release());
    CoUninitialize();
}

TEST_F(Metabase, HandlesBelongToTheirObjectAndCloseWithItsLastRelease) {
    METADATA_HANDLE handle = writable("/LM", {"LM"});
    IMSAdminBase* other = createAdminBase();
    METADATA_HANDLE blocked = 0;
    EXPECT_EQ(kInvalidHandle, other->CloseKey(handle));
    EXPECT_EQ(kPathBusy, openKey("/LM", kRead, &blocked, 0, other));
    admin_->Release();
    admin_ = nullptr;
    EXPECT_EQ(S_OK, openKey("/LM", kRead, &blocked, 0, other));
    other->Release();
}

TEST_F(Metabase, EveryDataTypeReadsBackByteForByteAlsoFromTheFile) {
    METADATA_HANDLE handle = writable("/LM/W3SVC/1", {"/LM/W3SVC/1"});
    const std::u16string lone = std::u16string(u"a") + char16_t(0xD800) + u"b";
    const struct {
        DWORD identifier, attributes, userType, dataType;
        std::vector<BYTE> data;
    } cases[] = {
        {MD_ACCESS_PERM, METADATA_INHERIT, IIS_MD_UT_FILE, DWORD_METADATA, dwordBytes(0x80000205)},
        {MD_VR_PATH, METADATA_INHERIT | METADATA_SECURE, IIS_MD_UT_FILE, STRING_METADATA,
         bytesOf({u"C:\\Inetpub \"wwwroot\" Gr\u00fc\u00dfe \U0001D11E\t"})},
        {MD_SERVER_COMMENT, METADATA_NO_ATTRIBUTES, 7777, EXPANDSZ_METADATA, bytesOf({lone})},
        {9001, 0x400, IIS_MD_UT_SERVER, BINARY_METADATA, {0x00, 0xff, 0x0a, 0x22, 0x5c}},
        {9002, METADATA_NO_ATTRIBUTES, IIS_MD_UT_SERVER, BINARY_METADATA, {}},
        {MD_MIME_MAP, METADATA_INHERIT, IIS_MD_UT_FILE, MULTISZ_METADATA,
         bytesOf({u".htm,text/html", u".gif,image/gif", u""})},
        {MD_SERVER_BINDINGS, METADATA_NO_ATTRIBUTES, IIS_MD_UT_SERVER, MULTISZ_METADATA, {0, 0}},
        {9003, 0, IIS_MD_UT_SERVER, BINARY_METADATA, std::vector<BYTE>(100, 0xab)},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(S_OK,
                  set(handle, "", c.identifier, c.attributes, c.userType, c.dataType, c.data));
    }
    admin_->CloseKey(handle);
    for (bool fromCopy : {false, true}) {
        if (fromCopy) {  // a copy the stand-in must read afresh
            std::filesystem::copy_file(file_, scratch_.file("copy.mb"));
            setenv("STANDIN_METABASE", scratch_.file("copy.mb").c_str(), 1);
        }
        for (const auto& c : cases) {
            Answer answer = get(0, "/LM/W3SVC/1", c.identifier);
            ASSERT_EQ(S_OK, answer.result) << c.identifier << (fromCopy ? " from the copy" : "");
            EXPECT_EQ(c.attributes, answer.attributes) << c.identifier;
            EXPECT_EQ(c.userType, answer.userType) << c.identifier;
            EXPECT_EQ(c.dataType, answer.dataType) << c.identifier;
            EXPECT_EQ(c.data, answer.data) << c.identifier;
        }
    }
}

TEST_F(Metabase, SetDataTakesTextUpToItsEndAndRefusesTextWithoutOne) {
    METADATA_HANDLE handle = writable("/LM", {"/LM"});
    std::vector<BYTE> padded = bytesOf({u"one"});
    padded.insert(padded.end(), {'x', 0, 'y', 0});
    EXPECT_EQ(S_OK, set(handle, "", 1, 0, 1, STRING_METADATA, padded));
    EXPECT_EQ(bytesOf({u"one"}), get(handle, "", 1).data);
    // the empty string ends the list
    EXPECT_EQ(S_OK, set(handle, "", 2, 0, 1, MULTISZ_METADATA, bytesOf({u"a", u"", u"z", u""})));
    EXPECT_EQ(bytesOf({u"a", u""}), get(handle, "", 2).data);

    EXPECT_EQ(E_INVALIDARG, set(handle, "", 3, 0, 1, STRING_METADATA, {'a', 0, 'b', 0}));
    EXPECT_EQ(E_INVALIDARG, set(handle, "", 3, 0, 1, MULTISZ_METADATA, {'a', 0, 0, 0}));
    EXPECT_EQ(E_INVALIDARG, set(handle, "", 3, 0, 1, DWORD_METADATA, {1, 0}));
    EXPECT_EQ(E_INVALIDARG, set(handle, "", 3, 0, 1, INVALID_END_METADATA, {1, 0, 0, 0}));
    EXPECT_EQ(kPathNotFound, set(handle, "missing", 3, 0, 1, DWORD_METADATA, dwordBytes(1)));
    EXPECT_EQ(kDataNotFound, get(handle, "", 3).result);
}

TEST_F(Metabase, GetDataTellsTheSizeNeededWhenTheBufferIsTooSmall) {
    METADATA_HANDLE handle = writable("/LM", {"/LM"});
    ASSERT_EQ(S_OK, set(handle, "", MD_VR_PATH, 0, 1, STRING_METADATA, bytesOf({u"/srv/www"})));
    BYTE buffer[18];
    std::memset(buffer, 0xcc, sizeof buffer);
    METADATA_RECORD record{MD_VR_PATH, 0, ALL_METADATA, ALL_METADATA, 17, buffer, 0};
    DWORD required = 0;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER),
              admin_->GetData(handle, nullptr, &record, &required));
    EXPECT_EQ(18u, required);
    EXPECT_EQ(0xcc, buffer[0]);
    record.dwMDDataLen = 18;
    EXPECT_EQ(S_OK, admin_->GetData(handle, nullptr, &record, &required));
    EXPECT_EQ(0, std::memcmp(buffer, u"/srv/www", 18));
    EXPECT_EQ(E_INVALIDARG, admin_->GetData(handle, nullptr, &record, nullptr));
}

TEST_F(Metabase, ARequestMatchesOnlyItsUserTypeAndDataTypeUnlessItAsksForAll) {
    METADATA_HANDLE handle = writable("/LM", {"/LM"});
    ASSERT_EQ(S_OK,
              set(handle, "", MD_ACCESS_PERM, 0, IIS_MD_UT_FILE, DWORD_METADATA, dwordBytes(5)));
    EXPECT_EQ(S_OK, get(handle, "", MD_ACCESS_PERM, 0, IIS_MD_UT_FILE, DWORD_METADATA).result);
    EXPECT_EQ(kDataNotFound, get(handle, "", MD_ACCESS_PERM, 0, IIS_MD_UT_SERVER).result);
    EXPECT_EQ(kDataNotFound,
              get(handle, "", MD_ACCESS_PERM, 0, ALL_METADATA, STRING_METADATA).result);
    EXPECT_EQ(kDataNotFound, admin_->DeleteData(handle, nullptr, MD_ACCESS_PERM, STRING_METADATA));
    EXPECT_EQ(S_OK, admin_->DeleteData(handle, nullptr, MD_ACCESS_PERM, DWORD_METADATA));
    EXPECT_EQ(kDataNotFound, get(handle, "", MD_ACCESS_PERM).result);
}

TEST_F(Metabase, KeysInheritWhatTheirParentsStoreAsInheritable) {
    METADATA_HANDLE site = writable("/LM/W3SVC/1", {"/LM/W3SVC/1/ROOT/Scripts"});
    ASSERT_EQ(S_OK, set(site, "", MD_ACCESS_PERM, METADATA_INHERIT, IIS_MD_UT_FILE, DWORD_METADATA,
                        dwordBytes(MD_ACCESS_READ)));
    ASSERT_EQ(S_OK, set(site, "", MD_SERVER_COMMENT, 0, 1, STRING_METADATA, bytesOf({u"site"})));
    ASSERT_EQ(S_OK, set(site, "ROOT", MD_ACCESS_PERM, METADATA_INHERIT, IIS_MD_UT_FILE,
                        STRING_METADATA, bytesOf({u"of another type"})));
    ASSERT_EQ(S_OK, set(site, "ROOT/Scripts", MD_VR_PATH, METADATA_INHERIT, IIS_MD_UT_FILE,
                        STRING_METADATA, bytesOf({u"/srv/scripts"})));
    const std::string scripts = "/LM/W3SVC/1/ROOT/Scripts";
    Answer inherited = get(0, scripts, MD_ACCESS_PERM, METADATA_INHERIT, 0, DWORD_METADATA);
    EXPECT_EQ(DWORD(METADATA_INHERIT | METADATA_ISINHERITED), inherited.attributes);
    EXPECT_EQ(dwordBytes(MD_ACCESS_READ), inherited.data);
    EXPECT_EQ(bytesOf({u"of another type"}),
              get(0, scripts, MD_ACCESS_PERM, METADATA_INHERIT).data);
    EXPECT_EQ(kDataNotFound, get(0, scripts, MD_ACCESS_PERM).result);
    EXPECT_EQ(kDataNotFound, get(0, scripts, MD_SERVER_COMMENT, METADATA_INHERIT).result);
    EXPECT_EQ(DWORD(METADATA_INHERIT), get(0, scripts, MD_VR_PATH, METADATA_INHERIT).attributes);

    // A path that goes on below the last existing key reads as that key, inheriting all.
    const std::string below = scripts + "/app/page.jsp";
    EXPECT_EQ(kPathNotFound, get(0, below, MD_VR_PATH, METADATA_INHERIT).result);
    Answer partial = get(0, below, MD_VR_PATH, METADATA_INHERIT | METADATA_PARTIAL_PATH);
    EXPECT_EQ(DWORD(METADATA_INHERIT | METADATA_ISINHERITED), partial.attributes);
    EXPECT_EQ(bytesOf({u"/srv/scripts"}), partial.data);

    // EnumData sees the same: own properties first, then the nearest parent's, each once.
    std::vector<DWORD> seen;
    BYTE buffer[256];
    METADATA_RECORD record{0, METADATA_INHERIT, 0, 0, sizeof buffer, buffer, 0};
    DWORD required = 0;
    HRESULT result;
    while ((result = admin_->EnumData(0, wide(scripts).c_str(), &record, DWORD(seen.size()),
                                      &required)) == S_OK) {
        seen.push_back(record.dwMDIdentifier);
        record.dwMDDataLen = sizeof buffer;
    }
    EXPECT_EQ(kNoMoreItems, result);
    EXPECT_EQ(std::vector<DWORD>({MD_VR_PATH, MD_ACCESS_PERM}), seen);
}

TEST_F(Metabase, KeysListInCreationOrderAndMatchWithoutRegardToCase) {
    METADATA_HANDLE service =
        writable("/LM/W3SVC", {"/LM/W3SVC/2", "LM\\W3SVC\\10", "/lm/w3svc/1/"});
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), admin_->AddKey(service, u"//1"));
    EXPECT_EQ(S_OK, admin_->AddKey(service, u"Filters/Brevant_ISAPI"));
    HRESULT end = S_OK;
    EXPECT_EQ(std::vector<std::string>({"2", "10", "1", "Filters"}), childNames("/LM/W3SVC", &end));
    EXPECT_EQ(kNoMoreItems, end);
    EXPECT_EQ(std::vector<std::string>({"Brevant_ISAPI"}), childNames("/lm/W3SVC/FILTERS"));
    childNames("/LM/nothing", &end);
    EXPECT_EQ(kPathNotFound, end);

    EXPECT_EQ(kPathNotFound, admin_->DeleteKey(service, u"3"));
    EXPECT_EQ(E_INVALIDARG, admin_->DeleteKey(service, u""));
    EXPECT_EQ(S_OK, admin_->DeleteKey(service, u"filters"));
    EXPECT_EQ(kPathNotFound, get(0, "/LM/W3SVC/Filters/Brevant_ISAPI", 1).result);
    EXPECT_EQ(S_OK, admin_->DeleteChildKeys(service, nullptr));
    EXPECT_EQ(std::vector<std::string>{}, childNames("/LM/W3SVC"));
    std::u16string tooLong(METADATA_MAX_NAME_LEN, u'k');
    EXPECT_EQ(E_INVALIDARG, admin_->AddKey(service, tooLong.c_str()));
    tooLong.pop_back();
    EXPECT_EQ(S_OK, admin_->AddKey(service, tooLong.c_str()));
}

TEST_F(Metabase, ChangesNeedAnOpenHandleWithWritePermission) {
    admin_->CloseKey(writable("/LM", {"/LM"}));
    METADATA_HANDLE reader = 0;
    ASSERT_EQ(S_OK, openKey("/LM", kRead, &reader));
    EXPECT_EQ(kAccessDenied, admin_->AddKey(METADATA_MASTER_ROOT_HANDLE, u"/LM/W3SVC"));
    EXPECT_EQ(kAccessDenied, admin_->AddKey(reader, u"W3SVC"));
    EXPECT_EQ(kAccessDenied, set(reader, "", 1, 0, 1, DWORD_METADATA, dwordBytes(1)));
    EXPECT_EQ(S_OK, admin_->CloseKey(reader));
    EXPECT_EQ(kInvalidHandle, admin_->CloseKey(reader));
    EXPECT_EQ(kInvalidHandle, admin_->AddKey(reader, u"W3SVC"));
    EXPECT_EQ(E_INVALIDARG, openKey("/LM", 4, &reader));
}

TEST_F(Metabase, WithoutAFileTheMetabaseIsEmptyAndCannotBeWritten) {
    unsetenv("STANDIN_METABASE");
    METADATA_HANDLE root = 0;
    ASSERT_EQ(S_OK, openKey("/", kWrite, &root));
    EXPECT_EQ(kAccessDenied, admin_->AddKey(root, u"LM"));
    EXPECT_EQ(kAccessDenied, set(root, "", 1, 0, 1, DWORD_METADATA, dwordBytes(1)));
    EXPECT_EQ(S_OK, admin_->SaveData());
    EXPECT_FALSE(std::filesystem::exists(file_));
}

TEST_F(Metabase, ReadersShareAKeyAndKeepWritersOfItsWholeLineOut) {
    admin_->CloseKey(writable("/", {"/LM/W3SVC/1/ROOT", "/LM/W3SVC/10"}));
    METADATA_HANDLE first = 0, second = 0, other = 0;
    ASSERT_EQ(S_OK, openKey("/LM/W3SVC/1", kRead, &first));
    EXPECT_EQ(S_OK, openKey("/lm/w3svc/1", kRead, &second));
    EXPECT_EQ(S_OK, openKey("/LM/W3SVC/10", kWrite, &other));  // a sibling, not a child
    EXPECT_EQ(S_OK, admin_->CloseKey(other));

    Clock::time_point start = Clock::now();
    EXPECT_EQ(kPathBusy, openKey("/LM/W3SVC/1", kWrite, &other, 300));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_EQ(kPathBusy, openKey("/LM", kWrite, &other));
    EXPECT_EQ(kPathBusy, openKey("/LM/W3SVC/1/ROOT", kWrite, &other));
    EXPECT_EQ(kPathBusy, admin_->ChangePermissions(second, 0, kWrite));
    // Reads through the master root handle take no lock.
    EXPECT_EQ(kDataNotFound, get(0, "/LM/W3SVC/1", 1).result);
    admin_->CloseKey(first);
    EXPECT_EQ(S_OK, admin_->ChangePermissions(second, 0, kWrite));
    EXPECT_EQ(kPathBusy, openKey("/LM/W3SVC/1/ROOT", kRead, &other));
    EXPECT_EQ(S_OK, admin_->ChangePermissions(second, 0, kRead));
    EXPECT_EQ(S_OK, openKey("/LM/W3SVC/1/ROOT", kRead, &other));
}

TEST_F(Metabase, AWaitingOpenGetsTheKeyAsSoonAsTheWriterLetsGo) {
    METADATA_HANDLE writer = writable("/LM/W3SVC", {"/LM/W3SVC/1"}), other = 0;
    EXPECT_EQ(kPathBusy, openKey("/", kRead, &other));
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        admin_->CloseKey(writer);
    });
    Clock::time_point start = Clock::now();
    EXPECT_EQ(S_OK, openKey("/LM/W3SVC/1", kWrite, &other, 10000));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    closer.join();
}

TEST_F(Metabase, AHandleOfAnotherProcessLocksUntilThatProcessDies) {
    admin_->CloseKey(writable("/", {"/LM/W3SVC/1/ROOT"}));
    METADATA_HANDLE handle = 0;
    {
        auto child = inChild([](IMSAdminBase* admin) {
            METADATA_HANDLE held = 0;
            return admin->OpenKey(0, u"/LM/W3SVC", kWrite, 0, &held);
        });
        ASSERT_EQ(S_OK, child->result());
        EXPECT_EQ(kPathBusy, openKey("/LM/W3SVC/1/ROOT", kRead, &handle, 200));
        EXPECT_EQ(kPathBusy, openKey("/LM", kRead, &handle));
    }
    EXPECT_EQ(S_OK, openKey("/LM/W3SVC/1/ROOT", kRead, &handle));
}

TEST_F(Metabase, ProcessesSeeEachOthersChangesAtOnce) {
    admin_->CloseKey(writable("/", {"/LM/W3SVC/1", "/LM/W3SVC/2", "/LM/W3SVC/3"}));
    auto reader = inChild([](IMSAdminBase* admin) {  // started before the writes it must see
        DWORD value = 0, required = 0;
        METADATA_RECORD record{10029, 0, ALL_METADATA, DWORD_METADATA, 4, (BYTE*)&value, 0};
        HRESULT result = E_FAIL;
        for (int tries = 0; tries < 500 && result != S_OK; ++tries) {
            usleep(10000);
            result = admin->GetData(0, u"/LM/W3SVC/1", &record, &required);
        }
        return FAILED(result) ? result : HRESULT(value);
    });
    auto child = inChild([](IMSAdminBase* admin) { return writeMany(admin, u"/LM/W3SVC/3"); });
    std::thread first([&] { EXPECT_EQ(S_OK, writeMany(admin_, u"/LM/W3SVC/1")); });
    std::thread second([&] { EXPECT_EQ(S_OK, writeMany(admin_, u"/LM/W3SVC/2")); });
    EXPECT_EQ(S_OK, child->result());
    first.join();
    second.join();
    for (const char* site : {"/LM/W3SVC/1", "/LM/W3SVC/2", "/LM/W3SVC/3"}) {
        for (DWORD i = 0; i < 30; ++i) {
            ASSERT_EQ(dwordBytes(i), get(0, site, 10000 + i).data) << site << " " << i;
        }
    }
    EXPECT_EQ(HRESULT(29), reader->result());
}

TEST_F(Metabase, TheFileIsWrittenInTheDocumentedForm) {
    METADATA_HANDLE root = writable("/", {"/LM/W3SVC/1/ROOT", "/LM/MimeMap"});
    ASSERT_EQ(S_OK, set(root, "LM/W3SVC/1", MD_SERVER_BINDINGS, 0, IIS_MD_UT_SERVER,
                        MULTISZ_METADATA, bytesOf({u":80:", u""})));
    ASSERT_EQ(S_OK, set(root, "LM/W3SVC/1/ROOT", MD_VR_PATH, METADATA_INHERIT, IIS_MD_UT_FILE,
                        STRING_METADATA, bytesOf({u"/srv/\\\"www\\u\"\u00e9\n"})));
    ASSERT_EQ(S_OK, set(root, "LM/W3SVC/1/ROOT", MD_ACCESS_PERM, METADATA_INHERIT | 0x1000,
                        IIS_MD_UT_FILE, DWORD_METADATA, dwordBytes(0x205)));
    ASSERT_EQ(S_OK, set(root, "LM/MimeMap", MD_MIME_MAP, METADATA_INHERIT, IIS_MD_UT_FILE,
                        MULTISZ_METADATA, bytesOf({u".htm,text/html", u".a", u""})));
    ASSERT_EQ(S_OK, set(root, "LM", 50000, 0, 300, BINARY_METADATA, {0x01, 0xab}));
    EXPECT_EQ(
        "# The IIS metabase of the Linux stand-in; the format is described in docs/metabase.md.\n"
        "# Programs rewrite this file when they change the metabase: comments are not kept.\n"
        "\n"
        "[/LM]\n"
        "50000 300 NONE BINARY 01 ab\n"
        "\n"
        "[/LM/W3SVC]\n"
        "\n"
        "[/LM/W3SVC/1]\n"
        "MD_SERVER_BINDINGS=1023 SERVER NONE MULTISZ \":80:\"\n"
        "\n"
        "[/LM/W3SVC/1/ROOT]\n"
        "MD_VR_PATH=3001 FILE INHERIT STRING \"/srv/\\\\\\\"www\\\\u\\\"\u00e9\\u000A\"\n"
        "MD_ACCESS_PERM=6016 FILE INHERIT|0x1000 DWORD 0x00000205\n"
        "\n"
        "[/LM/MimeMap]\n"
        "MD_MIME_MAP=6015 FILE INHERIT MULTISZ \\\n"
        "    \".htm,text/html\" \\\n"
        "    \".a\"\n",
        testsupport::readFile(file_));
}

TEST_F(Metabase, AHandWrittenFileReadsAsMeantAndABadLineCostsOnlyItself) {
    testsupport::writeFile(file_,
                           "# written by hand\r\n"
                           "[/LM/W3SVC/1]\r\n"
                           "  md_server_comment FILE 0 STRING \"Caf\\u00e9 \\\"bar\\\"\"  \r\n"
                           "MD_SERVER_BINDINGS=1023 1 NONE MULTISZ \\\r\n"
                           "    # the first binding\r\n"
                           "    \":80:\" \\\r\n"
                           "    \"127.0.0.1:8080:localhost\"\r\n"
                           "MY_OWN=70000 100 INHERIT|SECURE|0x400 BINARY 00ff \\\r\n"
                           "    10\r\n"
                           "6016 FILE INHERIT DWORD 517\r\n"
                           "MD_VR_PATH=3002 FILE INHERIT STRING \"mismatch\"\r\n"
                           "\r\n"
                           "[/LM/W3SVC/1/ROOT]\r\n"
                           "[/LM/W3SVC/Filters]\r\n"
                           "[/LM/W3SVC/bad\tname]\r\n"
                           "6016 FILE INHERIT DWORD 1\r\n");
    EXPECT_EQ(std::vector<std::string>({"1", "Filters"}), childNames("/LM/W3SVC"));
    Answer comment = get(0, "/lm/w3svc/1", MD_SERVER_COMMENT);
    EXPECT_EQ(DWORD(IIS_MD_UT_FILE), comment.userType);
    EXPECT_EQ(bytesOf({u"Caf\u00e9 \"bar\""}), comment.data);
    EXPECT_EQ(bytesOf({u":80:", u"127.0.0.1:8080:localhost", u""}),
              get(0, "/LM/W3SVC/1", MD_SERVER_BINDINGS).data);
    Answer own = get(0, "/LM/W3SVC/1", 70000);
    EXPECT_EQ(DWORD(METADATA_INHERIT | METADATA_SECURE | 0x400), own.attributes);
    EXPECT_EQ(DWORD(IIS_MD_UT_WAM), own.userType);
    EXPECT_EQ(std::vector<BYTE>({0x00, 0xff, 0x10}), own.data);
    EXPECT_EQ(dwordBytes(517), get(0, "/LM/W3SVC/1/ROOT", MD_ACCESS_PERM, METADATA_INHERIT).data);
    EXPECT_EQ(kDataNotFound, get(0, "/LM/W3SVC/1", MD_VR_PATH).result);
    EXPECT_NE(std::string::npos, debugOutput().find("metabase: " + file_ + ":11: bad identifier"));
    EXPECT_NE(std::string::npos, debugOutput().find("metabase: " + file_ + ":15: bad key name"));
    EXPECT_EQ(std::string::npos, debugOutput().find(file_ + ":16:"));
}

}  // namespace
