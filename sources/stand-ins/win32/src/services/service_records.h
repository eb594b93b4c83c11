// Service records as Windows keeps them: the key
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\<name> with the values Type, Start,
// ErrorControl, ImagePath, DisplayName and ObjectName. A key there without a REG_DWORD
// "Type" is not a service (it may hold Parameters written before the service was
// created). "DeleteFlag" marks a service that DeleteService removes once it has stopped.
//
// Each function is one read or one change of the registry stand-in; any thread may call.
#ifndef STANDIN_WIN32_SERVICES_SERVICE_RECORDS_H
#define STANDIN_WIN32_SERVICES_SERVICE_RECORDS_H

#include <windows.h>

#include <string>
#include <string_view>

namespace standin::services {

struct ServiceRecord {
    std::string name;  // as the key is spelled
    DWORD type = 0;
    DWORD start = SERVICE_DEMAND_START;
    DWORD errorControl = SERVICE_ERROR_NORMAL;
    std::string imagePath;  // as stored; REG_EXPAND_SZ is expanded by the reader
    bool imagePathExpands = false;
    std::string displayName;
    bool markedForDelete = false;
};

// The record of `name` (matched without regard to case); ERROR_SERVICE_DOES_NOT_EXIST.
LONG readRecord(std::string_view name, ServiceRecord* record);

// Writes a new record. ERROR_SERVICE_EXISTS when a service of that name exists,
// ERROR_SERVICE_MARKED_FOR_DELETE when it waits for deletion, ERROR_DUPLICATE_SERVICE_NAME
// when the display name is another service's name or display name; a registry error when
// the registry cannot be written.
LONG createRecord(const ServiceRecord& record, std::string_view objectName,
                  std::string_view loadOrderGroup, std::string_view dependencies);

// Removes the service's key with everything below it.
LONG deleteRecord(std::string_view name);
// Sets DeleteFlag; ERROR_SERVICE_MARKED_FOR_DELETE when it is set already.
LONG markForDelete(std::string_view name);
// Removes the record and the status file at `statusPath` when the record is marked: the
// service it names has stopped.
void deleteIfMarked(std::string_view name, const std::string& statusPath);

}  // namespace standin::services

#endif  // STANDIN_WIN32_SERVICES_SERVICE_RECORDS_H
