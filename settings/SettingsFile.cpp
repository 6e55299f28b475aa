// The settings file: finding and opening it, the line parser with its
// "#include" and "#redirect" directives, and saving.
//
// Include and redirect chains. While a file's text is parsed it is kept in
// the list of open files. A directive that names a file still being read
// further up the chain (the same name ignoring ASCII case, or the same file on disk) is
// ignored and the parse goes on with the next line, exactly as a directive
// naming the current file is. So a.ini including b.ini including a.ini yields
// a's lines above the include, b's lines, then a's remaining lines; a.ini
// redirecting to b.ini redirecting back to a.ini yields b's lines only (the
// redirect back is ignored, b is read to its end and stays the current file).
// Nested reads stop at kMaxLoadDepth files; a deeper directive is passed over
// like a file that cannot be read.
//
// Saving goes through SafeFile: a temporary file in the settings file's
// folder, flushed and renamed over the settings file, so a failed save leaves
// the previous file as it was. A settings file the user may not write is
// never replaced; in a folder that takes no new file a writable settings
// file is written in place. A line longer than the parser keeps is never
// written: the save fails instead (Refusal, RefusedKey), since reading it
// back would silently cut the value. Files that are no settings file (NUL
// bytes) or too large to be one are not read, so that no save replaces them.
#include "settings/AppSetting.h"

#include "settings/AppSettingImpl.h"
#include "winutil/CodePage.h"
#include "winutil/FdIo.h"
#include "winutil/SafeFile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kMaxLoadDepth = 64;
constexpr std::size_t kSaveBlock = 65536;

bool FileIdentity(const char* path, std::uint64_t* device, std::uint64_t* inode) {
    const FileInfo info = LookAtPath(path);
    if (!info.Exists()) {
        return false;
    }
    *device = info.volume;
    *inode = info.index;
    return true;
}

// The first " = " of a line, or nullptr; no '=' stands before index from.
char* FindSeparator(char* line, std::size_t length, std::size_t from) {
    char* at = line + std::max<std::size_t>(from, 1);
    char* const end = line + length;
    while (at + 1 < end) {
        // The scan of the line found the first '=' already: most lines have
        // only that one.
        char* equals =
            *at == '='
                ? at
                : static_cast<char*>(std::memchr(at, '=', static_cast<std::size_t>(end - at - 1)));
        if (equals == nullptr) {
            return nullptr;
        }
        if (equals[-1] == ' ' && equals[1] == ' ') {
            return equals - 1;
        }
        at = equals + 1;
    }
    return nullptr;
}

// True when a byte other than zero stands in [at, end).
bool AnyNonZero(const char* at, const char* end) {
    for (; at < end; ++at) {
        if (*at != '\0') {
            return true;
        }
    }
    return false;
}

// True when text holds a control byte other than zero, tab, CR and LF.
bool HoldsBinaryBytes(const char* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte < 0x20 && byte != 0 && byte != '\t' && byte != '\r' && byte != '\n') ||
            byte == 0x7F) {
            return true;
        }
    }
    return false;
}

// Moves the lines of text that hold no zero byte together, line ends
// included, and returns their length.
std::size_t DropLinesWithZeroBytes(char* text, std::size_t length) {
    std::size_t kept = 0;
    std::size_t at = 0;
    while (at < length) {
        std::size_t end = at;
        bool zero = false;
        while (end < length && text[end] != '\r' && text[end] != '\n') {
            zero = zero || text[end] == '\0';
            ++end;
        }
        while (end < length && (text[end] == '\r' || text[end] == '\n')) {
            ++end; // blank lines between go with this one
        }
        if (!zero) {
            std::memmove(text + kept, text + at, end - at);
            kept += end - at;
        }
        at = end;
    }
    return kept;
}

} // namespace

std::string CAppSetting::CurrentFileNarrow() const {
    return WideToCodePage(currentFile_);
}

int CAppSetting::OpenDefault() {
    std::string path;
    if (!GetModuleFileName(&path) || path.empty()) {
        return 0;
    }
    path = SettingsFileForModule(path);
    currentFile_ = CodePageToWide(path);
    if (!LookAtPath(path).Exists()) {
        return 0;
    }
    changeStamp.minInterval = 60000;
    if (path.size() >= 4 && EqualNoCase(std::string_view(path).substr(0, 4), "\\\\?\\")) {
        path.erase(0, 4);
        currentFile_ = CodePageToWide(path);
    }
    if (HasFileChanged(currentFile_.c_str(), &changeStamp)) {
        return Load(path.c_str(), 1);
    }
    return 0;
}

int CAppSetting::Load(const char* path, int clearFirst) {
    refusal_ = SettingsRefusal::None;
    textAfterZero_ = false;
    return LoadInternal(path, clearFirst, 0);
}

int CAppSetting::LoadInternal(const char* path, int clearFirst, int depth) {
    if (path == nullptr) {
        return 0;
    }
    std::u16string wide = CodePageToWide(path);
    if (clearFirst != 0) {
        Clear();
    }
    currentFile_ = std::move(wide);
    Impl::OpenFile open;
    open.path = path;
    // Only regular files are read: a folder, pipe or device never is.
    const FileInfo info = LookAtPath(path);
    if (info.kind != FileKind::Regular) {
        return 0;
    }
    // A huge file is no list anybody keeps: refused before it is read whole.
    if (info.size > kMaxSettingsFileBytes) {
        refusal_ = SettingsRefusal::TooLarge;
        return 0;
    }
    open.device = info.volume;
    open.inode = info.index;
    std::uint32_t length = 0;
    char* text = ReadFileWhole(path, &length);
    if (text == nullptr) {
        return 0;
    }
    // A file this program saved holds no zero byte: it is parsed straight
    // away, and the parse stops where it meets one. Only then is the file
    // looked at as a whole, read again and parsed from a cleared store. A file
    // read into a store that was not cleared for it (an include) is looked
    // at first.
    if (clearFirst == 0 && !TakeZeroBytes(text, &length)) {
        FreeFileData(text);
        return 0;
    }
    // Most settings lines are a few dozen bytes long: room for the entries
    // of a big file in one go.
    const std::size_t expected = length / 40;
    impl_->pool.Expect(expected);
    impl_->sorted.reserve(impl_->sorted.size() + expected);
    if (keepOrder != 0) {
        impl_->order.reserve(impl_->order.size() + expected);
    }
    impl_->openFiles.push_back(std::move(open));
    // The entries keep pointing into the text: it is handed to the store
    // only after the parse, so a redirect that clears the store on the way
    // does not free the text still being read.
    if (ParseText(text, length, depth, clearFirst == 0) == ParseEnd::ZeroByte) {
        // The parse cut the text up in place: it is read afresh.
        Clear();
        FreeFileData(text);
        text = ReadFileWhole(path, &length);
        if (text == nullptr || !TakeZeroBytes(text, &length)) {
            impl_->openFiles.pop_back();
            FreeFileData(text);
            return 0;
        }
        ParseText(text, length, depth, true);
    }
    impl_->openFiles.pop_back();
    impl_->blocks.push_back(Impl::TextBlock{text, true});
    return 1;
}

bool CAppSetting::TakeZeroBytes(char* text, std::uint32_t* length) {
    // Save never writes a NUL byte nor any other control byte but tab and the
    // line ends. Zero bytes alone are what a damaged list holds (a run of them
    // written over it); other control bytes with them mean a program or
    // another binary file named by mistake, which is not taken, so that no
    // save replaces it.
    const char* zero = static_cast<const char*>(std::memchr(text, 0, *length));
    if (zero != nullptr && HoldsBinaryBytes(text, *length)) {
        refusal_ = SettingsRefusal::NotText;
        return false;
    }
    if (zero != nullptr && AnyNonZero(zero, text + *length)) {
        textAfterZero_ = true;
        if (readPastZeroBytes != 0) {
            *length = static_cast<std::uint32_t>(DropLinesWithZeroBytes(text, *length));
        }
    }
    return true;
}

bool CAppSetting::IsOpenFile(const char* path) const {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    const bool known = FileIdentity(path, &device, &inode);
    for (const Impl::OpenFile& open : impl_->openFiles) {
        if (EqualNoCase(open.path, path) ||
            (known && open.device == device && open.inode == inode)) {
            return true;
        }
    }
    return false;
}

bool CAppSetting::ParseLine(char* line, std::size_t length, const LineShape& shape, int number,
                            int depth) {
    char* separator = FindSeparator(line, length, shape.firstEquals);
    if (separator == nullptr) {
        impl_->Set(std::string_view(line, length), nullptr, 0, number, false, keepOrder != 0);
        return true;
    }
    *separator = '\0';
    char* value = separator + 3;
    std::size_t valueLength = length - static_cast<std::size_t>(value - line);
    if (shape.escapes) // else no backslash follows the first '=': nothing to decode
        valueLength = UnescapeInPlace(value, valueLength);
    value[valueLength] = '\0';
    if (line[0] != '#') {
        impl_->Set(std::string_view(line, static_cast<std::size_t>(separator - line)), value,
                   valueLength, number, false, keepOrder != 0);
        return true;
    }
    const bool redirect = EqualNoCase(line, "#redirect");
    const bool include = !redirect && EqualNoCase(line, "#include");
    if ((!redirect && !include) || !followDirectives_) {
        return true; // any other "#..." setting is dropped
    }
    const std::string current = CurrentFileNarrow();
    if (redirect) {
        if (EqualNoCase(value, current) || depth + 1 >= kMaxLoadDepth || IsOpenFile(value)) {
            return true;
        }
        LoadInternal(value, 1, depth + 1);
        return false; // the rest of this file is not read
    }
    std::string resolved;
    if ((value[0] != '\0' && value[1] == ':') || value[0] == '/') {
        resolved = value;
    } else {
        const std::size_t slash = current.find_last_of("\\/");
        if (slash == std::string::npos) {
            resolved = value; // the current file is in the working folder
        } else {
            resolved.reserve(slash + 1 + valueLength);
            resolved.append(current, 0, slash).append(1, '/').append(value);
        }
    }
    if (EqualNoCase(resolved, current) || depth + 1 >= kMaxLoadDepth ||
        IsOpenFile(resolved.c_str())) {
        return true;
    }
    std::u16string remembered = currentFile_;
    LoadInternal(resolved.c_str(), 0, depth + 1);
    currentFile_ = std::move(remembered);
    return true;
}

CAppSetting::ParseEnd CAppSetting::ParseText(char* text, std::size_t length, int depth,
                                             bool checked) {
    // The text ends at its end or at its first zero byte; the buffer carries a
    // terminator after length bytes.
    text[length] = '\0';
    char* at = text;
    char* const end = text + length;
    int number = 0;
    while (*at != '\0') {
        if (number < 0x7FFFFFFF) {
            ++number;
        }
        const LineShape shape = ScanLine(at, end);
        const std::size_t lineLength = shape.length;
        char* next = at + lineLength;
        // An unchecked text stops before a line a zero byte cuts short, and
        // before a directive when a zero byte follows it: a file read in
        // place of this one would not be undone by parsing it again.
        if (!checked &&
            ((*next == '\0' && next != end) ||
             (*at == '#' && std::memchr(next, 0, static_cast<std::size_t>(end - next))))) {
            return ParseEnd::ZeroByte;
        }
        if (*next == '\r') {
            ++next;
            if (*next == '\n') {
                ++next;
            }
        } else if (*next == '\n') {
            ++next;
        }
        // A line keeps at most kLineCapacity - 1 bytes; the rest is skipped.
        const std::size_t kept = lineLength < static_cast<std::size_t>(kLineCapacity - 1)
                                     ? lineLength
                                     : static_cast<std::size_t>(kLineCapacity - 1);
        at[kept] = '\0';
        if (!ParseLine(at, kept, shape, number, depth)) {
            return ParseEnd::Redirected;
        }
        at = next;
    }
    // Stopped by a zero byte before the end.
    return !checked && at != end ? ParseEnd::ZeroByte : ParseEnd::Done;
}

int CAppSetting::ParseBuffer(const char* text, std::size_t length) {
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (copy == nullptr) {
        return 0;
    }
    std::memcpy(copy, text, length);
    ParseText(copy, length, 0, true);
    impl_->blocks.push_back(Impl::TextBlock{copy, false});
    return 1;
}

int CAppSetting::Save(const char* path) {
    std::string target;
    if (path != nullptr) {
        currentFile_ = CodePageToWide(path);
        target = path;
    } else {
        if (currentFile_.empty()) {
            return 0;
        }
        target = CurrentFileNarrow();
    }
    if (target.empty()) {
        return 0;
    }
    impl_->SyncOrderMode(keepOrder != 0);
    impl_->MergeFresh();
    refusal_ = SettingsRefusal::None;
    refusedKey_.clear();
    savePartial_ = false;
    SafeFile writer;
    // A file that another program holds is named as such; any other failure
    // of the writer has no refusal of its own.
    const auto writeFailed = [&] {
        if (writer.Why() == SafeFile::Reason::InUse)
            refusal_ = SettingsRefusal::InUse;
        savePartial_ = writer.Changed();
        return 0;
    };
    if (!writer.Open(target)) {
        return writeFailed();
    }
    // Lines are gathered into blocks of at least 64 KiB that end at line ends.
    std::vector<char> block(kSaveBlock + 2 * kLineCapacity);
    std::size_t used = 0;
    std::uint64_t lines = 0;
    bool ok = true;
    auto emit = [&](const Impl::Entry& entry) {
        if (!ok) {
            return;
        }
        const std::size_t need = entry.key.size() + 3 + 2 * entry.value.size() + 2;
        if (used + need > block.size()) {
            block.resize(std::max(block.size() * 2, used + need));
        }
        char* const start = block.data() + used;
        char* w = start;
        std::memcpy(w, entry.key.data(), entry.key.size());
        w += entry.key.size();
        if (entry.hasValue) {
            std::memcpy(w, " = ", 3);
            w = WriteEscaped(w + 3, entry.value.data(), entry.value.size());
        }
        // The reader keeps kLineCapacity - 1 bytes of a line: a longer one
        // would come back cut, so the file is not written at all.
        if (w - start > kLineCapacity - 1) {
            refusal_ = SettingsRefusal::LineTooLong;
            refusedKey_.assign(entry.key);
            ok = false;
            return;
        }
        *w++ = '\r';
        *w++ = '\n';
        used = static_cast<std::size_t>(w - block.data());
        ++lines;
        if (used >= kSaveBlock) {
            ok = writer.Write(block.data(), used);
            used = 0;
        }
    };
    if (keepOrder != 0) {
        for (const Impl::Entry* entry : impl_->order) {
            if (entry != nullptr) {
                emit(*entry);
            }
        }
    } else {
        for (const Impl::Entry* entry : impl_->sorted) {
            if (!entry->dead) {
                emit(*entry);
            }
        }
    }
    if (ok && used > 0) {
        ok = writer.Write(block.data(), used);
    }
    if (!ok || !writer.Commit()) {
        return writeFailed();
    }
    return lines > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(lines);
}
