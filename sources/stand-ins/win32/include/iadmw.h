// IMSAdminBase, the interface to the IIS metabase, for the Linux build (with what Windows
// puts in mddefw.h and mdmsg.h).
//
// The metabase is a tree of keys named by "/"-separated paths such as /LM/W3SVC/1/ROOT;
// each key holds properties identified by number (iiscnfg.h). Here it lives in the text
// file named by STANDIN_METABASE, shared by every process of the machine as IIS's metabase
// is shared by its clients (docs/metabase.md). Get the interface with
// CoCreateInstance(CLSID_MSAdminBase, NULL, CLSCTX_ALL, IID_IMSAdminBase, ...).
//
// Thread safety: an IMSAdminBase may be called from any thread. Open handles lock keys
// against handles of every thread and process, as IIS does.
#ifndef STANDIN_WIN32_IADMW_H
#define STANDIN_WIN32_IADMW_H

#include <windows.h>
#include <objbase.h>

// ---- metabase definitions (mddefw.h) ------------------------------------------------------

#define METADATA_MAX_NAME_LEN 256
#define ADMINDATA_MAX_NAME_LEN 256

#define METADATA_PERMISSION_READ 0x00000001
#define METADATA_PERMISSION_WRITE 0x00000002

enum METADATATYPES {
    ALL_METADATA = 0,
    DWORD_METADATA,
    STRING_METADATA,
    BINARY_METADATA,
    EXPANDSZ_METADATA,
    MULTISZ_METADATA,
    INVALID_END_METADATA
};

#define METADATA_NO_ATTRIBUTES 0
#define METADATA_INHERIT 0x00000001
#define METADATA_PARTIAL_PATH 0x00000002
#define METADATA_SECURE 0x00000004
#define METADATA_REFERENCE 0x00000008
#define METADATA_VOLATILE 0x00000010
#define METADATA_ISINHERITED 0x00000020
#define METADATA_INSERT_PATH 0x00000040
#define METADATA_LOCAL_MACHINE_ONLY 0x00000080
#define METADATA_NON_SECURE_ONLY 0x00000100

#define METADATA_MASTER_ROOT_HANDLE 0

typedef struct _METADATA_RECORD {
    DWORD dwMDIdentifier;
    DWORD dwMDAttributes;
    DWORD dwMDUserType;
    DWORD dwMDDataType;
    DWORD dwMDDataLen;
    unsigned char* pbMDData;
    DWORD dwMDDataTag;
} METADATA_RECORD, *PMETADATA_RECORD;

typedef struct _METADATA_GETALL_RECORD {
    DWORD dwMDIdentifier;
    DWORD dwMDAttributes;
    DWORD dwMDUserType;
    DWORD dwMDDataType;
    DWORD dwMDDataLen;
    DWORD dwMDDataOffset;
    DWORD dwMDDataTag;
} METADATA_GETALL_RECORD, *PMETADATA_GETALL_RECORD;

typedef DWORD METADATA_HANDLE;
typedef DWORD* PMETADATA_HANDLE;

typedef struct _METADATA_HANDLE_INFO {
    DWORD dwMDPermissions;
    DWORD dwMDSystemChangeNumber;
} METADATA_HANDLE_INFO, *PMETADATA_HANDLE_INFO;

// ---- metabase results (mdmsg.h) -----------------------------------------------------------

// Unsigned, as Windows' headers make them: compare with (HRESULT)MD_ERROR_DATA_NOT_FOUND.
#define MD_ERROR_NOT_INITIALIZED 0x800CC800U
#define MD_ERROR_DATA_NOT_FOUND 0x800CC801U
#define MD_ERROR_INVALID_VERSION 0x800CC802U
#define MD_WARNING_PATH_NOT_FOUND 0x000CC803U
#define MD_WARNING_DUP_NAME 0x000CC804U
#define MD_WARNING_INVALID_DATA 0x000CC805U
#define MD_ERROR_SECURE_CHANNEL_FAILURE 0x800CC806U
#define MD_WARNING_PATH_NOT_INSERTED 0x000CC807U
#define MD_ERROR_CANNOT_REMOVE_SECURE_ATTRIBUTE 0x800CC808U
#define MD_WARNING_SAVE_FAILED 0x000CC809U
#define MD_ERROR_READ_METABASE_FILE 0x800CC819U

// ---- the interface ------------------------------------------------------------------------

DEFINE_GUID(CLSID_MSAdminBase_W, 0xa9e69610, 0xb80d, 0x11d0, 0xb9, 0xb9, 0x00, 0xa0, 0xc9, 0x22,
            0xe7, 0x50);
DEFINE_GUID(IID_IMSAdminBase_W, 0x70b51430, 0xb6ca, 0x11d0, 0xb9, 0xb9, 0x00, 0xa0, 0xc9, 0x22,
            0xe7, 0x50);

#define CLSID_MSAdminBase CLSID_MSAdminBase_W
#define IID_IMSAdminBase IID_IMSAdminBase_W
#define IMSAdminBase IMSAdminBaseW
#define GETAdminBaseCLSIDW(IsService) CLSID_MSAdminBase_W
#define GETAdminBaseCLSID GETAdminBaseCLSIDW

// Windows' vtable order. The stand-in implements AddKey, DeleteKey, DeleteChildKeys,
// EnumKeys, SetData, GetData, DeleteData, EnumData, OpenKey, CloseKey, ChangePermissions
// and SaveData; the others return E_NOTIMPL.
struct IMSAdminBaseW : public IUnknown {
  public:
    virtual HRESULT STDMETHODCALLTYPE AddKey(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteKey(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteChildKeys(METADATA_HANDLE hMDHandle,
                                                      LPCWSTR pszMDPath) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumKeys(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath,
                                               LPWSTR pszMDName, DWORD dwMDEnumObjectIndex) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyKey(METADATA_HANDLE hMDSourceHandle,
                                              LPCWSTR pszMDSourcePath,
                                              METADATA_HANDLE hMDDestHandle, LPCWSTR pszMDDestPath,
                                              BOOL bMDOverwriteFlag, BOOL bMDCopyFlag) = 0;
    virtual HRESULT STDMETHODCALLTYPE RenameKey(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath,
                                                LPCWSTR pszMDNewName) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetData(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath,
                                              PMETADATA_RECORD pmdrMDData) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetData(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath,
                                              PMETADATA_RECORD pmdrMDData,
                                              DWORD* pdwMDRequiredDataLen) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteData(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath,
                                                 DWORD dwMDIdentifier, DWORD dwMDDataType) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumData(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath,
                                               PMETADATA_RECORD pmdrMDData, DWORD dwMDEnumDataIndex,
                                               DWORD* pdwMDRequiredDataLen) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAllData(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath,
                                                 DWORD dwMDAttributes, DWORD dwMDUserType,
                                                 DWORD dwMDDataType, DWORD* pdwMDNumDataEntries,
                                                 DWORD* pdwMDDataSetNumber, DWORD dwMDBufferSize,
                                                 unsigned char* pbMDBuffer,
                                                 DWORD* pdwMDRequiredBufferSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteAllData(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath,
                                                    DWORD dwMDUserType, DWORD dwMDDataType) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyData(METADATA_HANDLE hMDSourceHandle,
                                               LPCWSTR pszMDSourcePath,
                                               METADATA_HANDLE hMDDestHandle, LPCWSTR pszMDDestPath,
                                               DWORD dwMDAttributes, DWORD dwMDUserType,
                                               DWORD dwMDDataType, BOOL bMDCopyFlag) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDataPaths(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath,
                                                   DWORD dwMDIdentifier, DWORD dwMDDataType,
                                                   DWORD dwMDBufferSize, WCHAR* pszBuffer,
                                                   DWORD* pdwMDRequiredBufferSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenKey(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath,
                                              DWORD dwMDAccessRequested, DWORD dwMDTimeOut,
                                              PMETADATA_HANDLE phMDNewHandle) = 0;
    virtual HRESULT STDMETHODCALLTYPE CloseKey(METADATA_HANDLE hMDHandle) = 0;
    virtual HRESULT STDMETHODCALLTYPE ChangePermissions(METADATA_HANDLE hMDHandle,
                                                        DWORD dwMDTimeOut,
                                                        DWORD dwMDAccessRequested) = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveData(void) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHandleInfo(METADATA_HANDLE hMDHandle,
                                                    PMETADATA_HANDLE_INFO pmdhiInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSystemChangeNumber(DWORD* pdwSystemChangeNumber) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDataSetNumber(METADATA_HANDLE hMDHandle, LPCWSTR pszMDPath,
                                                       DWORD* pdwMDDataSetNumber) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetLastChangeTime(METADATA_HANDLE hMDHandle,
                                                        LPCWSTR pszMDPath,
                                                        PFILETIME pftMDLastChangeTime,
                                                        BOOL bLocalTime) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLastChangeTime(METADATA_HANDLE hMDHandle,
                                                        LPCWSTR pszMDPath,
                                                        PFILETIME pftMDLastChangeTime,
                                                        BOOL bLocalTime) = 0;
    virtual HRESULT STDMETHODCALLTYPE KeyExchangePhase1(void) = 0;
    virtual HRESULT STDMETHODCALLTYPE KeyExchangePhase2(void) = 0;
    virtual HRESULT STDMETHODCALLTYPE Backup(LPCWSTR pszMDBackupLocation, DWORD dwMDVersion,
                                             DWORD dwMDFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Restore(LPCWSTR pszMDBackupLocation, DWORD dwMDVersion,
                                              DWORD dwMDFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumBackups(LPWSTR pszMDBackupLocation, DWORD* pdwMDVersion,
                                                  PFILETIME pftMDBackupTime,
                                                  DWORD dwMDEnumIndex) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteBackup(LPCWSTR pszMDBackupLocation,
                                                   DWORD dwMDVersion) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnmarshalInterface(IMSAdminBaseW** piadmbwInterface) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetServerGuid(void) = 0;
};

#endif  // STANDIN_WIN32_IADMW_H
