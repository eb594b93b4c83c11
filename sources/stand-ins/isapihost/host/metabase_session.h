// A connection to the metabase through IMSAdminBase, with the few typed reads and writes
// isapihost needs. Strings cross as single-byte text, widened by zero-extension and
// narrowed by keeping each character's low byte, as IIS's own tools do.
//
// Thread: the thread that created it (COM initialised).
#ifndef ISAPIHOST_HOST_METABASE_SESSION_H
#define ISAPIHOST_HOST_METABASE_SESSION_H

#include <windows.h>
#include <iadmw.h>
#include <iiscnfg.h>

#include <string>
#include <vector>

namespace isapihost {

std::basic_string<WCHAR> widen(const std::string& text);
std::string narrow(const WCHAR* text);

class MetabaseSession {
  public:
    MetabaseSession() = default;
    ~MetabaseSession();
    MetabaseSession(const MetabaseSession&) = delete;
    MetabaseSession& operator=(const MetabaseSession&) = delete;

    // Creates the interface; false with *error.
    bool connect(std::string* error);

    // The names of a key's subkeys, in the metabase's order; empty when the key is missing.
    std::vector<std::string> subkeys(const std::string& path);

    // Reads one property through the master root handle; false when absent or of another
    // data type. `attributes` is METADATA_INHERIT to take an inherited value.
    bool getString(const std::string& path, DWORD id, DWORD attributes, std::string* value);
    bool getDword(const std::string& path, DWORD id, DWORD attributes, DWORD* value);
    bool getMultiString(const std::string& path, DWORD id, DWORD attributes,
                        std::vector<std::string>* values);

    // Writing: the key is opened for writing, created when missing, and the property set.
    bool setString(const std::string& path, DWORD id, DWORD userType, DWORD attributes,
                   const std::string& value, std::string* error);
    bool setDword(const std::string& path, DWORD id, DWORD userType, DWORD attributes, DWORD value,
                  std::string* error);
    bool setMultiString(const std::string& path, DWORD id, DWORD userType, DWORD attributes,
                        const std::vector<std::string>& values, std::string* error);

  private:
    bool getRaw(const std::string& path, DWORD id, DWORD attributes, DWORD dataType,
                std::vector<unsigned char>* data);
    bool setRaw(const std::string& path, METADATA_RECORD* record, std::string* error);

    IMSAdminBase* admin_ = nullptr;
};

}  // namespace isapihost

#endif  // ISAPIHOST_HOST_METABASE_SESSION_H
