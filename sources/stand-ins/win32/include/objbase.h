// The COM subset that the product calls, for the Linux build: GUIDs, IUnknown, and the
// activation functions through which the product reaches the IIS metabase.
//
// As on Windows, IUnknown is an abstract class whose virtual functions come in Windows'
// order, so an interface pointer is a pointer to a vtable. The only class that
// CoCreateInstance knows is the metabase's, CLSID_MSAdminBase (see iadmw.h); every object
// lives in the calling process.
//
// Thread safety: as on Windows. CoInitialize and CoUninitialize count per thread;
// CoCreateInstance and the objects it makes may be used from any initialised thread.
#ifndef STANDIN_WIN32_OBJBASE_H
#define STANDIN_WIN32_OBJBASE_H

#include <windows.h>

#ifndef __cplusplus
#error "the COM stand-in is for C++"
#endif

#define STDMETHODCALLTYPE
#define STDAPICALLTYPE

// ---- GUIDs (guiddef.h) --------------------------------------------------------------------

typedef struct _GUID {
    DWORD Data1;  // "unsigned long" on Windows, where long is 32 bits
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
} GUID;

typedef GUID IID;
typedef GUID CLSID;
typedef GUID* LPGUID;
typedef IID* LPIID;
typedef CLSID* LPCLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

// Windows defines a GUID's storage in the one source file that includes initguid.h first.
// Here every GUID is an inline variable, so initguid.h may be included or not.
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

inline int IsEqualGUID(REFGUID a, REFGUID b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) {
        return 0;
    }
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) {
            return 0;
        }
    }
    return 1;
}
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)

inline bool operator==(REFGUID a, REFGUID b) {
    return IsEqualGUID(a, b) != 0;
}
inline bool operator!=(REFGUID a, REFGUID b) {
    return !(a == b);
}

DEFINE_GUID(GUID_NULL, 0x00000000, 0x0000, 0x0000, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00);
DEFINE_GUID(IID_IUnknown, 0x00000000, 0x0000, 0x0000, 0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x46);

// ---- IUnknown (unknwn.h) ------------------------------------------------------------------

// No virtual destructor, as in Windows' layout: objects free themselves in Release.
struct IUnknown {
  public:
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef(void) = 0;
    virtual ULONG STDMETHODCALLTYPE Release(void) = 0;
};
typedef IUnknown* LPUNKNOWN;

// ---- activation (combaseapi.h, objbase.h) -------------------------------------------------

typedef enum tagCLSCTX {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_INPROC_SERVER16 = 0x8,
    CLSCTX_REMOTE_SERVER = 0x10,
} CLSCTX;

#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_ALL \
    (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

typedef enum tagCOINIT {
    COINIT_MULTITHREADED = 0x0,
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8,
} COINIT;

extern "C" {

// S_OK on a thread's first call, S_FALSE on later ones (each needs its CoUninitialize);
// RPC_E_CHANGED_MODE, without counting, when the threading model differs from the first.
STANDIN_API HRESULT STDAPICALLTYPE CoInitialize(LPVOID reserved);
STANDIN_API HRESULT STDAPICALLTYPE CoInitializeEx(LPVOID reserved, DWORD coInit);
STANDIN_API void STDAPICALLTYPE CoUninitialize(void);

// REQUIRES: the calling thread is initialised (else CO_E_NOTINITIALIZED).
STANDIN_API HRESULT STDAPICALLTYPE CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer,
                                                    DWORD clsContext, REFIID iid, LPVOID* object);

}  // extern "C"

#endif  // STANDIN_WIN32_OBJBASE_H
