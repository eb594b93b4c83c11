// The natives when what they call throws: each answers its failure value to the engine and
// reports the exception on the debugger output, byte for byte. A JNI environment whose
// functions throw stands in for the VM; the request is live, so that each native reaches it.
#include "native/isapi/bridge/isapi_native_lib.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "debug_output_capture.h"
#include "native/isapi/bridge/request_handles.h"

namespace {

// What the environment throws: a std::exception with this text, or (for null) an int.
const char* thrownText = nullptr;

[[noreturn]] void throwNow() {
    if (thrownText != nullptr) {
        throw std::runtime_error(thrownText);
    }
    throw 42;
}

// The natives under test, by their short names.
constexpr auto writeClient = Java_com_orlena_tessel_brevant_ISAPINativeLib_writeClient;
constexpr auto writeHeaders = Java_com_orlena_tessel_brevant_ISAPINativeLib_writeHeaders;
constexpr auto readClient = Java_com_orlena_tessel_brevant_ISAPINativeLib_readClient;
constexpr auto getRealPath = Java_com_orlena_tessel_brevant_ISAPINativeLib_getRealPath;
constexpr auto outputDebugString = Java_com_orlena_tessel_brevant_ISAPINativeLib_outputDebugString;

class NativeGuardTest : public testing::Test {
  protected:
    NativeGuardTest() {
        functions_.GetArrayLength = [](JNIEnv*, jarray) -> jsize { throwNow(); };
        functions_.NewByteArray = [](JNIEnv*, jsize) -> jbyteArray { throwNow(); };
        functions_.GetStringUTFChars = [](JNIEnv*, jstring, jboolean*) -> const char* {
            throwNow();
        };
        env_.functions = &functions_;
    }

    // Calls `native` while the environment throws `text` (null: an int); its answer, with
    // what it reported in said_.
    template <typename Native>
    auto whenThrowing(const char* text, Native native) {
        thrownText = text;
        const size_t before = debugOutput_.text().size();
        auto answer = native();
        said_ = debugOutput_.text().substr(before);
        return answer;
    }

    int request_ = 0;
    brevant::isapi::RequestRegistration registration_{&request_};
    const jint handle_ = registration_.handle();
    jbyteArray array_ = reinterpret_cast<jbyteArray>(&request_);  // never read: the call throws
    JNINativeInterface_ functions_{};
    JNIEnv env_{};
    testsupport::DebugOutputCapture debugOutput_;
    std::string said_;
};

TEST_F(NativeGuardTest, WriteClientTellsAnExceptionFromAnUnknownThrow) {
    auto write = [&] { return writeClient(&env_, nullptr, handle_, array_, 1, JNI_FALSE); };
    EXPECT_EQ(whenThrowing("array gone", write), -2);
    EXPECT_EQ(said_, "writeClient() caught an exception!!!\narray gone\n");
    EXPECT_EQ(whenThrowing(nullptr, write), -3);
    EXPECT_EQ(said_, "writeClient() caught an unknown exception!!!\n");
}

TEST_F(NativeGuardTest, WriteHeadersAnswersFalse) {
    EXPECT_EQ(whenThrowing("no status",
                           [&] { return writeHeaders(&env_, nullptr, handle_, array_, nullptr); }),
              JNI_FALSE);
    EXPECT_EQ(said_, "Called writeHeaders.\nwriteHeaders() caught an exception!!!\nno status\n");
}

TEST_F(NativeGuardTest, ReadClientAnswersNull) {
    EXPECT_EQ(whenThrowing(nullptr, [&] { return readClient(&env_, nullptr, handle_, 4); }),
              nullptr);
    EXPECT_EQ(said_, "readClient() caught an unknown exception!!!\n");
}

TEST_F(NativeGuardTest, GetRealPathAnswersNull) {
    const auto path = reinterpret_cast<jstring>(array_);
    EXPECT_EQ(whenThrowing("x", [&] { return getRealPath(&env_, nullptr, handle_, path); }),
              nullptr);
    EXPECT_EQ(said_, "getRealPath() caught an exception!!!\nx\n");
}

TEST_F(NativeGuardTest, OutputDebugStringReportsWhatItCaught) {
    whenThrowing("y", [&] { return outputDebugString(&env_, nullptr, array_), 0; });
    EXPECT_EQ(said_, "outputDebugString() caught an exception!!!\ny\n");
}

}  // namespace
