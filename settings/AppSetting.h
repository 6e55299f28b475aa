// CAppSetting: the program's only persistence. An in-memory table of text
// values addressed by backslash-separated key paths (compared ignoring ASCII
// case), loaded from and saved to one INI-style text file.
#pragma once

#include "winutil/FileUtil.h"

#include <cstdint>
#include <string>

// One distinct key. A value-less entry stands for a file line without " = "
// (comment, blank line, heading) and is written back as its key alone.
struct SettingEntry {
    std::string key;       // never changed after creation
    std::int32_t line = -1; // 1-based line that last set it, -1 when made in memory
    bool hasValue = false;
    std::string value;     // meaningful only when hasValue
};

// (full key, name below the enumerated path, value text, caller context);
// return nonzero to go on, 0 to stop.
using EnumKeysCallback = int (*)(const char* key, const char* name, const char* value,
                                 void* context);

// One row of a batch table; type 0 ends the table.
struct SettingTableRow {
    std::int32_t type; // 1 integer, 2 text, 4 double, 5 byte run; others are passed over
    const char* key;
    void* data;
    std::int32_t size; // text buffer size in bytes, or byte count of a byte run
};

class CAppSetting {
  public:
    CAppSetting();
    virtual ~CAppSetting();
    CAppSetting(const CAppSetting&) = delete;
    CAppSetting& operator=(const CAppSetting&) = delete;

    // Virtual operations, in slot order. 1 = done/found, 0 = not found/failed.
    virtual int Clear();
    virtual int SetValue(const char* key, const char* value, int line);
    virtual int RemoveKey(const char* key);
    virtual int AddValue(const char* key, const char* value, int line);
    virtual int UnlinkOrder(SettingEntry* entry);
    virtual int Save(const char* path = nullptr);
    virtual int DeleteKey(const char* key);
    virtual int DeleteSection(const char* path);
    virtual int GetValue(const char* key, const char** value, int* line);
    virtual int SetStringW(const char* key, const char16_t* text);
    virtual int SetString(const char* key, const char* text);
    virtual int SetDouble(const char* key, double value);
    virtual int SetFloat(const char* key, float value);
    virtual int SetHex(const char* key, std::uint32_t value);
    virtual int SetIntRef(const char* key, const std::int32_t& value);
    virtual int SetInt(const char* key, std::int32_t value);
    virtual int GetString(const char* key, const char** value);
    virtual int GetStringCopy(const char* key, char* buffer, int size);
    virtual int GetDouble(const char* key, double* value);
    virtual int GetFloat(const char* key, float* value);
    virtual int GetInt(const char* key, std::int32_t* value);
    virtual int GetUInt(const char* key, std::uint32_t* value);
    virtual int GetColor(const char* key, std::uint32_t* color);
    virtual int SetBinary(const char* key, const void* data, std::uint32_t count);
    virtual int GetBinary(const char* key, void* buffer, std::uint32_t size, std::uint32_t* count);
    virtual int EnumKeys(const char* path, void* context, EnumKeysCallback callback, int allLevels);
    virtual int ReadTable(const SettingTableRow* rows);
    virtual int WriteTable(const SettingTableRow* rows);

    // Opens the settings file beside the executable (<exe name>.ini).
    int OpenDefault();
    // Reads a settings file; clearFirst empties the store before.
    int Load(const char* path, int clearFirst);

    // The file that Save() without a path writes (UTF-16).
    const std::u16string& CurrentFile() const;

    // 1: keep the file's line order when saving; 0: save every key once in
    // key order. The owner sets it directly.
    std::int32_t keepOrder = 1;
    FileChangeStamp changeStamp;

    // Implementation details below are owned by the settings module.
  private:
    std::u16string currentFile_;
};
