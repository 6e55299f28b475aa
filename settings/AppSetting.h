// CAppSetting: the program's only persistence. An in-memory table of text
// values addressed by backslash-separated key paths (compared ignoring ASCII
// case), loaded from and saved to one INI-style text file.
#pragma once

#include "settings/IniText.h"
#include "winutil/FileUtil.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// One distinct key. A value-less entry stands for a file line without " = "
// (comment, blank line, heading) and is written back as its key alone. The
// texts are owned by the store that holds the entry; each view is followed by
// a zero byte.
struct SettingEntry {
    std::string_view key;   // never changed after creation
    std::int32_t line = -1; // 1-based line that last set it, -1 when made in memory
    bool hasValue = false;
    std::string_view value; // meaningful only when hasValue
};

// (full key, name below the enumerated path, value text, caller context);
// return nonzero to go on, 0 to stop.
using EnumKeysCallback = int (*)(const char* key, const char* name, const char* value,
                                 void* context);

// How GetInt and GetUInt read a value text: for callers that walk the store
// with EnumKeys instead of looking each key up.
std::int32_t ParseIntValue(const char* text);
std::uint32_t ParseUIntValue(const char* text);

// One row of a batch table; type 0 ends the table.
struct SettingTableRow {
    std::int32_t type; // 1 integer, 2 text, 4 double, 5 byte run; others are passed over
    const char* key;
    void* data;
    std::int32_t size; // text buffer size in bytes, or byte count of a byte run
};

// The largest settings file Load reads; a larger one is refused unread.
inline constexpr std::uint64_t kMaxSettingsFileBytes = std::uint64_t(256) << 20;

// Why the last Load or Save refused a file it could otherwise have used.
enum class SettingsRefusal {
    None,
    TooLarge,    // Load: the file is larger than kMaxSettingsFileBytes
    NotText,     // Load: it holds NUL bytes, which no settings file does (a program, an image)
    LineTooLong, // Save: a line would be longer than the reader keeps (RefusedKey names it)
    InUse,       // Save: another program holds the file (a running program, a file open
                 // without write or delete sharing on Windows, a locked range)
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

    // What made the last Load or Save fail on a file it could reach, and for
    // LineTooLong the key of the first line that would not fit: such a line
    // is never written, as reading it back would cut it short.
    SettingsRefusal Refusal() const { return refusal_; }
    const std::string& RefusedKey() const { return refusedKey_; }

    // 1: keep the file's line order when saving; 0: save every key once in
    // key order. The owner sets it directly.
    std::int32_t keepOrder = 1;
    FileChangeStamp changeStamp;
    // 0: a file's text ends at its first zero byte. 1: it is read on past
    // zero bytes, leaving out every line that holds one: what a damaged file
    // (a run of zero bytes written over it) still holds intact.
    std::int32_t readPastZeroBytes = 0;
    // True when a file read by the last Load (or a file it included) held
    // text after a zero byte: the file was damaged, and with
    // readPastZeroBytes 0 that text was not read.
    bool TextAfterZeroByte() const { return textAfterZero_; }
    // True when the last Save failed after writing part of the file in place
    // (its folder takes no new file): the file holds neither the old text
    // nor the new one.
    bool SaveLeftPartialFile() const { return savePartial_; }
    // Grows with every change of the table (a value set, a key removed, the
    // store cleared or loaded); equal counts mean the same contents.
    std::uint64_t ChangeCount() const;

    // The table of entries, the write order and the loaded texts: defined
    // only inside settings/ (AppSettingImpl.h).
    struct Impl;

  private:
    friend struct AppSettingTestAccess;

    int LoadInternal(const char* path, int clearFirst, int depth);
    // Looks for zero bytes in a file's text: false (refused) for a binary
    // file; otherwise notes text after a zero byte and, with
    // readPastZeroBytes, drops the lines that hold one (*length shrinks).
    bool TakeZeroBytes(char* text, std::uint32_t* length);
    // How the parse of a text ended.
    enum class ParseEnd { Done, Redirected, ZeroByte };
    // Parses a terminated text in place (length bytes, a zero byte after
    // them). An unchecked text (not yet through TakeZeroBytes) ends with
    // ZeroByte, the store as the lines before left it, where a zero byte
    // would have mattered.
    ParseEnd ParseText(char* text, std::size_t length, int depth, bool checked);
    // One line of at most kLineCapacity - 1 bytes, scanned as shape tells;
    // false stops the file.
    bool ParseLine(char* line, std::size_t length, const LineShape& shape, int number, int depth);
    bool IsOpenFile(const char* path) const;
    // Parses a copy of the bytes as if they were a file's text (tests, fuzzing).
    int ParseBuffer(const char* text, std::size_t length);
    std::string CurrentFileNarrow() const;

    std::unique_ptr<Impl> impl_;
    std::u16string currentFile_;
    bool followDirectives_ = true;
    SettingsRefusal refusal_ = SettingsRefusal::None;
    std::string refusedKey_;
    bool textAfterZero_ = false;
    bool savePartial_ = false;
};
