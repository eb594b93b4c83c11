// The request handles given to the Java engine: 32-bit keys into a table of the requests
// that are being served, never addresses squeezed into 32 bits. The engine bridge
// registers a request for the length of its "ProcessRequest" call; the native methods
// look the key up and reach the request only through a lease, which keeps the request
// registered until the native is done with it. A key is never handed out twice while the
// process runs (until the 32-bit counter wraps, and then never a key still live), so a
// stale handle finds nothing instead of a later request.
//
// Any thread may call every function; one lock guards the table, held only to look up,
// add or remove an entry, never while a request is served.
#ifndef BREVANT_ISAPI_BRIDGE_REQUEST_HANDLES_H
#define BREVANT_ISAPI_BRIDGE_REQUEST_HANDLES_H

#include <jni.h>

namespace brevant::isapi {

// A request's registration for as long as the object lives. Not copyable.
class RequestRegistration {
  public:
    // Registers `request` under a new handle, never 0.
    // REQUIRES: request != nullptr.
    explicit RequestRegistration(void* request);
    // Removes the handle; waits while a lease on it is held, so that the request record may
    // be freed as soon as the registration is gone.
    ~RequestRegistration();
    RequestRegistration(const RequestRegistration&) = delete;
    RequestRegistration& operator=(const RequestRegistration&) = delete;

    jint handle() const { return handle_; }

  private:
    jint handle_;
};

// A native's hold on a live request. Not copyable; lives on the native's stack.
class RequestLease {
  public:
    explicit RequestLease(jint handle);
    ~RequestLease();
    RequestLease(const RequestLease&) = delete;
    RequestLease& operator=(const RequestLease&) = delete;

    // The registered request, or null for a handle that is unknown or no longer live.
    void* request() const { return request_; }

  private:
    jint handle_;
    void* request_;
};

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_BRIDGE_REQUEST_HANDLES_H
