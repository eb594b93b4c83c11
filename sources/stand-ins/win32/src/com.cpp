// COM activation for the one class the stand-in has, the IIS metabase.
//
// Whether a thread is initialised is its own affair, as on Windows: a count per thread,
// with the threading model of its first call. Objects live in the calling process, so
// the class answers to the in-process and the local-server contexts alike.
#include <iadmw.h>
#include <objbase.h>

#include "stand-ins/win32/src/metabase/admin_base.h"

namespace {

struct Apartment {
    ULONG initialisations = 0;
    DWORD model = COINIT_MULTITHREADED;
};

thread_local Apartment apartment;

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE CoInitializeEx(LPVOID /*reserved*/, DWORD coInit) {
    DWORD model = coInit & COINIT_APARTMENTTHREADED;
    if (apartment.initialisations > 0 && model != apartment.model) {
        return RPC_E_CHANGED_MODE;
    }
    apartment.model = model;
    return ++apartment.initialisations == 1 ? S_OK : S_FALSE;
}

HRESULT STDAPICALLTYPE CoInitialize(LPVOID reserved) {
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

void STDAPICALLTYPE CoUninitialize(void) {
    if (apartment.initialisations > 0) {
        --apartment.initialisations;
    }
}

HRESULT STDAPICALLTYPE CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD clsContext,
                                        REFIID iid, LPVOID* object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (apartment.initialisations == 0) {
        return CO_E_NOTINITIALIZED;
    }
    if (clsid != CLSID_MSAdminBase ||
        (clsContext & (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER)) == 0) {
        return REGDB_E_CLASSNOTREG;
    }
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    return standin::metabase::createAdminBase(iid, object);
}

}  // extern "C"
