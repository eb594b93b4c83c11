// CBrevant: the engine bridge, the one place where the connector calls into Java. It owns
// the JVM host and the native log; it starts the VM and the servlet engine, hands each
// request to the engine, answers the filter's questions (is a URL a servlet alias, which
// default document applies) and stops the engine when it goes.
//
// Abstract: it knows JNI and the engine's static methods but nothing of the web server.
// Every server-specific value comes from a virtual operation of the flavour (CBrevantISAPI
// for IIS); a request travels through the bridge as an opaque pointer to the flavour's
// request record. The virtual operations are declared in their slot order.
//
// Threads: the constructor, `init` and the destructor run on the thread that loads the
// filter (or unloads the extension), alone. Afterwards any number of web-server threads
// call setServerInfo, processRequest, isServletAlias and getDefaultURL at once; each call
// attaches its thread to the VM, uses only local references and detaches again, and the
// bridge holds no lock of its own. Nothing from JNI is kept between calls. Not copyable.
#ifndef BREVANT_ISAPI_BRIDGE_BREVANT_H
#define BREVANT_ISAPI_BRIDGE_BREVANT_H

#include <jni.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "native/isapi/config/configuration.h"
#include "native/isapi/jvm/java_vm.h"
#include "native/isapi/jvm/java_vm_kind.h"
#include "native/isapi/jvm/jdk11_init_args.h"

namespace brevant::isapi {

// The engine's main class, and the word the connector's messages and pages name it by.
constexpr char kEngineClass[] = "com/orlena/tessel/brevant/Brevant";
constexpr char kProductWord[] = "Brevant";

class CBrevant {
  public:
    // Opens the native log in the install home and finds the connector's own module.
    CBrevant();
    // Stops the engine ("Shutdown"; and System.exit(0) after endVmOnDestroy), deletes the
    // JVM host, then closes the native log.
    virtual ~CBrevant();
    CBrevant(const CBrevant&) = delete;
    CBrevant& operator=(const CBrevant&) = delete;

    virtual std::string getExtensionURL() = 0;
    virtual std::string getClasspath();
    virtual JavaVMKind getVMSettings(JDK1_1InitArgs* settings);
    virtual int getVMOptions(std::string options[kMaxVMOptions]);
    virtual int getVMProperties(char** properties);
    virtual std::string getServerSoftware(void* request) = 0;
    virtual std::string getMimeMap() = 0;
    virtual std::string getRequestHeader(void* request) = 0;
    virtual std::string getRequestExtra(void* request) = 0;
    // The body bytes the server read ahead as a local Java array, or null.
    virtual jbyteArray getPostData(void* request, JNIEnv* env) = 0;
    virtual std::string getRemoteAddr(void* request) = 0;
    virtual std::string getRemoteHost(void* request) = 0;
    virtual std::string getRemoteUser(void* request) = 0;
    virtual std::string getAuthPassword(void* request) = 0;
    virtual std::string getServerName(void* request) = 0;
    virtual jint getServerPort(void* request) = 0;
    virtual std::string getDataDirectory();
    virtual std::string getDocumentRoot(void* request) = 0;
    virtual std::string getServletsDirectory();
    virtual bool isBufferedResponse() = 0;
    virtual void sendResponse(void* request, const jbyte* bytes, jsize length) = 0;
    virtual std::string getHomeDirectory();
    virtual bool isSecure(void* request) = 0;
    virtual void initDefaultPages() = 0;

    // Starts the VM and the engine. The outcome shows only through isInitialized() and
    // getInitMessage(). REQUIRES: called once, by the flavour's constructor.
    void init(const char* connectorName);

    // The calling thread's JNI environment and the engine's main class; false (and logged)
    // when either cannot be had.
    bool setup(JNIEnv** env, jclass* cls);

    void setServerInfo(void* request);
    // Hands the request to the engine, which answers the client itself before this returns;
    // true when the request reached the engine (even when the engine then failed).
    bool processRequest(void* request);
    // REQUIRES: url != nullptr. host may be null.
    bool isServletAlias(const char* url, const char* host);
    // The first default document of directoryURL, when it is a servlet alias; "" otherwise.
    std::string getDefaultURL(const std::string& directoryURL, const char* host,
                              const char* physicalDirectory);

    bool isInitialized() const { return initialized; }
    std::string getInitMessage() const { return initMessage; }

    // Makes the destructor end the VM with System.exit(0) after "Shutdown": for the web
    // server's unload of the connector only. A bridge whose start failed is destroyed
    // without it, so that the web server goes on serving the failure page.
    void endVmOnDestroy() { endVm_ = true; }

  protected:
    std::string serverType;
    std::vector<std::string> defaultPages;

    // The full path of the connector module; "" when it could not be read.
    const char* modulePath() const { return dllPath; }
    // Detaches the calling thread from the VM, at the end of an operation that reached Java.
    void detach();

  private:
    void sendBufferedResponse(JNIEnv* env, void* request, jbyteArray array);
    // The VM's JNI environment on the calling thread, or null without a VM.
    JNIEnv* attachedEnvironment();
    // Calls "getInitMsg" after a failed "Init" and appends its text to initMessage.
    void appendEngineInitMessage(JNIEnv* env, jclass cls);

    std::unique_ptr<CJavaVM> javaVM;
    char dllPath[255] = {};
    bool initialized = false;
    std::string initMessage;
    HMODULE module = nullptr;
    bool endVm_ = false;
};

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_BRIDGE_BREVANT_H
