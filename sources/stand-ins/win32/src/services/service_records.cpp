#include "stand-ins/win32/src/services/service_records.h"

#include <cstring>
#include <vector>

#include "stand-ins/win32/src/registry/registry_store.h"
#include "stand-ins/win32/src/registry/registry_tree.h"
#include "stand-ins/win32/src/services/service_runtime.h"

namespace standin::services {

namespace {

using registry::RegistryKey;
using registry::RegistryStore;
using registry::RegistryValue;
using standin::findKey;
using standin::KeyPath;

const KeyPath kServicesPath = {"SYSTEM", "CurrentControlSet", "Services"};

bool readDword(const RegistryKey& key, const char* name, DWORD* value) {
    const RegistryValue* found = key.findEntry(name);
    if (found == nullptr || found->type != REG_DWORD || found->data.size() != sizeof(DWORD)) {
        return false;
    }
    std::memcpy(value, found->data.data(), sizeof(DWORD));
    return true;
}

// A string value up to its terminating zero; "" when missing.
std::string readString(const RegistryKey& key, const char* name, DWORD* type = nullptr) {
    const RegistryValue* found = key.findEntry(name);
    if (found == nullptr) {
        return "";
    }
    if (type != nullptr) {
        *type = found->type;
    }
    std::string text(found->data.begin(), found->data.end());
    return text.substr(0, text.find('\0'));
}

std::vector<BYTE> dwordData(DWORD value) {
    std::vector<BYTE> data(sizeof(DWORD));
    std::memcpy(data.data(), &value, sizeof(DWORD));
    return data;
}

std::vector<BYTE> stringData(std::string_view text) {
    std::vector<BYTE> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

bool isService(const RegistryKey& key) {
    DWORD type = 0;
    return readDword(key, "Type", &type);
}

const RegistryKey* findService(const RegistryKey& root, std::string_view name) {
    const RegistryKey* services = findKey(root, kServicesPath);
    const RegistryKey* key = services != nullptr ? services->findChild(name) : nullptr;
    return key != nullptr && isService(*key) ? key : nullptr;
}

}  // namespace

LONG readRecord(std::string_view name, ServiceRecord* record) {
    LONG status = RegistryStore::instance().read([&](const RegistryKey& root, const FILETIME&) {
        const RegistryKey* key = findService(root, name);
        if (key == nullptr) {
            return LONG(ERROR_SERVICE_DOES_NOT_EXIST);
        }
        record->name = key->name();
        readDword(*key, "Type", &record->type);
        readDword(*key, "Start", &record->start);
        readDword(*key, "ErrorControl", &record->errorControl);
        DWORD imageType = REG_SZ;
        record->imagePath = readString(*key, "ImagePath", &imageType);
        record->imagePathExpands = imageType == REG_EXPAND_SZ;
        record->displayName = readString(*key, "DisplayName");
        DWORD deleteFlag = 0;
        record->markedForDelete = readDword(*key, "DeleteFlag", &deleteFlag) && deleteFlag != 0;
        return LONG(ERROR_SUCCESS);
    });
    // Without a registry file there are no services.
    return status == ERROR_FILE_NOT_FOUND ? LONG(ERROR_SERVICE_DOES_NOT_EXIST) : status;
}

LONG createRecord(const ServiceRecord& record, std::string_view objectName,
                  std::string_view loadOrderGroup, std::string_view dependencies) {
    return RegistryStore::instance().write([&](RegistryKey& root) {
        RegistryKey& services = standin::createKey(root, kServicesPath);
        if (const RegistryKey* existing = findService(root, record.name)) {
            DWORD deleteFlag = 0;
            return readDword(*existing, "DeleteFlag", &deleteFlag) && deleteFlag != 0
                       ? LONG(ERROR_SERVICE_MARKED_FOR_DELETE)
                       : LONG(ERROR_SERVICE_EXISTS);
        }
        if (!record.displayName.empty()) {
            for (const auto& other : services.children()) {
                if (isService(*other) &&
                    (equalIgnoringCase(other->name(), record.displayName) ||
                     equalIgnoringCase(readString(*other, "DisplayName"), record.displayName))) {
                    return LONG(ERROR_DUPLICATE_SERVICE_NAME);
                }
            }
        }
        // An existing key that is no service (Parameters written first) is taken over.
        RegistryKey& key = services.addChild(record.name);
        key.setEntry({"Type", REG_DWORD, dwordData(record.type)});
        key.setEntry({"Start", REG_DWORD, dwordData(record.start)});
        key.setEntry({"ErrorControl", REG_DWORD, dwordData(record.errorControl)});
        key.setEntry({"ImagePath", REG_EXPAND_SZ, stringData(record.imagePath)});
        if (!record.displayName.empty()) {
            key.setEntry({"DisplayName", REG_SZ, stringData(record.displayName)});
        }
        if (!objectName.empty()) {
            key.setEntry({"ObjectName", REG_SZ, stringData(objectName)});
        }
        if (!loadOrderGroup.empty()) {
            key.setEntry({"Group", REG_SZ, stringData(loadOrderGroup)});
        }
        if (!dependencies.empty()) {
            // A list of strings, each ending in a zero, and one more zero at the end.
            key.setEntry({"DependOnService", REG_MULTI_SZ,
                          std::vector<BYTE>(dependencies.begin(), dependencies.end())});
        }
        return LONG(ERROR_SUCCESS);
    });
}

LONG deleteRecord(std::string_view name) {
    return RegistryStore::instance().write([&](RegistryKey& root) {
        RegistryKey* services = findKey(root, kServicesPath);
        if (services == nullptr || findService(root, name) == nullptr) {
            return LONG(ERROR_SERVICE_DOES_NOT_EXIST);
        }
        services->removeChild(name);
        return LONG(ERROR_SUCCESS);
    });
}

LONG markForDelete(std::string_view name) {
    return RegistryStore::instance().write([&](RegistryKey& root) {
        RegistryKey* services = findKey(root, kServicesPath);
        RegistryKey* key = services != nullptr ? services->findChild(name) : nullptr;
        if (key == nullptr || !isService(*key)) {
            return LONG(ERROR_SERVICE_DOES_NOT_EXIST);
        }
        DWORD deleteFlag = 0;
        if (readDword(*key, "DeleteFlag", &deleteFlag) && deleteFlag != 0) {
            return LONG(ERROR_SERVICE_MARKED_FOR_DELETE);
        }
        key->setEntry({"DeleteFlag", REG_DWORD, dwordData(1)});
        return LONG(ERROR_SUCCESS);
    });
}

void deleteIfMarked(std::string_view name, const std::string& statusPath) {
    ServiceRecord record;
    if (readRecord(name, &record) == ERROR_SUCCESS && record.markedForDelete &&
        deleteRecord(name) == ERROR_SUCCESS) {
        removeStatusFile(statusPath);
    }
}

}  // namespace standin::services
