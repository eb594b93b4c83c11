// The natives when what they call throws: each answers its failure value to the engine and
// reports the exception on the debugger output, byte for byte. A JNI environment whose
// functions throw stands in for the VM; the request is live, so that each native reaches it.
#include "native/isapi/bridge/isapi_native_lib.h"

#include <gtest/gtest.h>

#include <functional>
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

    // What `native` reported when the environment threw `text` (null: an int).
    std::string reported(const char* text, const std::function<void()>& native) {
        thrownText = text;
        const size_t before = debugOutput_.text().size();
        native();
        return debugOutput_.text().substr(before);
    }

    int request_ = 0;
    brevant::isapi::RequestRegistration registration_{&request_};
    const jint handle_ = registration_.handle();
    jbyteArray array_ = reinterpret_cast<jbyteArray>(&request_);  // never read: the call throws
    JNINativeInterface_ functions_{};
    JNIEnv env_{};
    testsupport::DebugOutputCapture debugOutput_;
};

TEST_F(NativeGuardTest, WriteClientTellsAnExceptionFromAnUnknownThrow) {
    jbyte answer = 0;
    auto write = [&] {
        answer = Java_com_orlena_tessel_brevant_ISAPINativeLib_writeClient(&env_, nullptr, handle_,
                                                                           array_, 1, JNI_FALSE);
    };
    EXPECT_EQ(reported("array gone", write), "writeClient() caught an exception!!!\narray gone\n");
    EXPECT_EQ(answer, -2);
    EXPECT_EQ(reported(nullptr, write), "writeClient() caught an unknown exception!!!\n");
    EXPECT_EQ(answer, -3);
}

TEST_F(NativeGuardTest, WriteHeadersAnswersFalse) {
    jboolean answer = JNI_TRUE;
    EXPECT_EQ(reported("no status",
                       [&] {
                           answer = Java_com_orlena_tessel_brevant_ISAPINativeLib_writeHeaders(
                               &env_, nullptr, handle_, array_, nullptr);
                       }),
              "Called writeHeaders.\nwriteHeaders() caught an exception!!!\nno status\n");
    EXPECT_EQ(answer, JNI_FALSE);
}

TEST_F(NativeGuardTest, ReadClientAndGetRealPathAnswerNull) {
    jbyteArray body = array_;
    jstring path = reinterpret_cast<jstring>(array_);
    EXPECT_EQ(reported(nullptr,
                       [&] {
                           body = Java_com_orlena_tessel_brevant_ISAPINativeLib_readClient(
                               &env_, nullptr, handle_, 4);
                       }),
              "readClient() caught an unknown exception!!!\n");
    EXPECT_EQ(reported("x",
                       [&] {
                           path = Java_com_orlena_tessel_brevant_ISAPINativeLib_getRealPath(
                               &env_, nullptr, handle_, path);
                       }),
              "getRealPath() caught an exception!!!\nx\n");
    EXPECT_EQ(body, nullptr);
    EXPECT_EQ(path, nullptr);
}

TEST_F(NativeGuardTest, OutputDebugStringReportsWhatItCaught) {
    EXPECT_EQ(reported("y",
                       [&] {
                           Java_com_orlena_tessel_brevant_ISAPINativeLib_outputDebugString(
                               &env_, nullptr, array_);
                       }),
              "outputDebugString() caught an exception!!!\ny\n");
}

}  // namespace
