// platform/sys: the system services that Vek Voxa's core relies on, without Qt.
//
// Every path handed to these functions is an 8-bit ANSI string (Windows-1252), as the program's globals hold
// them; it may use '\' or '/' as separators. On the way to the disk each path passes through the resolver:
// separators become '/', the text is converted to UTF-8, and a component that does not exist with that exact
// spelling is looked up without regard to letter case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------------------------------------------------------
// text.cpp: encodings

// Windows-1252 bytes -> UTF-8. Bytes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the
// C1 control of the same value, so that the conversion never loses a byte.
std::string AnsiToUtf8(std::string_view ansi);
// UTF-8 -> Windows-1252. Returns false (and leaves `out` unspecified) when the text is no valid UTF-8 or holds a
// character that Windows-1252 cannot represent.
bool Utf8ToAnsi(std::string_view utf8, std::string& out);
// Latin-1 view of 8-bit bytes as UTF-8: every byte b becomes U+00bb. Lossless; used for machine-readable output.
std::string Latin1ToUtf8(std::string_view bytes);
// Decodes one UTF-8 character at p (p < end) into `cp` and returns the bytes taken (at least 1). An invalid or
// cut sequence gives U+FFFD for its longest valid beginning (overlong forms and surrogates are invalid).
std::size_t DecodeUtf8Char(const std::uint8_t* p, const std::uint8_t* end, char32_t& cp);
// Appends the UTF-8 encoding of code point `cp` to `out`.
void AppendUtf8(std::string& out, char32_t cp);

// ---------------------------------------------------------------------------------------------------------------
// messages.cpp: the message sink. Every message box of the program goes through ShowMessage.

enum class MsgIcon { None, Stop, Exclamation };

struct Message {
    std::string caption; // 8-bit ANSI
    std::string text;    // 8-bit ANSI
    MsgIcon icon = MsgIcon::None;
};

using MessageSink = std::function<void(const Message&)>;

// Replaces the sink and returns the previous one. The default sink writes "caption: text" to stderr in UTF-8.
MessageSink SetMessageSink(MessageSink sink);
void ShowMessage(std::string_view text, std::string_view caption, MsgIcon icon);
const char* MsgIconName(MsgIcon icon); // "none", "stop", "exclamation"

// Collects the messages shown while it lives (tests, the CLI's JSON output); restores the previous sink after.
struct MessageRecorder {
    std::vector<Message> messages;
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

  private:
    MessageSink previous_;
};

// ---------------------------------------------------------------------------------------------------------------
// files.cpp: paths, files, directories

// The native (UTF-8) path for an ANSI path: separators turned into '/', relative paths left relative, and every
// component that does not exist with its exact spelling matched without regard to case (the first match in byte
// order when several exist). Components that match nothing are kept as written, so the result names the path
// that would be created.
std::string DiskPath(std::string_view ansiPath);

bool FileExists(std::string_view ansiPath);      // a plain file (after resolving)
bool DirectoryExists(std::string_view ansiPath); // a directory (after resolving)

// Why a file could not be read, in the categories that the callers report differently.
enum class ReadFailure { None, FileNotFound, DirectoryNotFound, AccessDenied, IsDirectory, IoError };

struct ReadResult {
    std::vector<std::uint8_t> bytes;
    ReadFailure failure = ReadFailure::None;
    std::string reason; // the system's words (strerror) when failure != None
};
ReadResult ReadWholeFile(std::string_view ansiPath);

// The names (ANSI) of the plain files directly in `ansiDir` whose name ends with `suffix` compared without regard
// to case, sorted by name without regard to case (ties by bytes). Names that cannot be represented in the ANSI
// code page are left out. Returns false when the directory cannot be listed.
bool ListFiles(std::string_view ansiDir, std::string_view suffix, std::vector<std::string>& names);

// The current directory as real process state.
bool SetCurrentDir(std::string_view ansiPath);
std::string GetCurrentDir(); // ANSI, no trailing '/' (but "/" for the root)

// Writes `bytes` to `ansiPath` through a temporary file in the same directory (write, fsync, close, then move into
// place). With `noReplace` an existing file is never replaced (the move fails with EEXIST). Returns an empty string
// on success, else the system's reason; nothing partial is left behind either way.
std::string WriteFileAtomic(std::string_view ansiPath, std::string_view bytes, bool noReplace);

// ---------------------------------------------------------------------------------------------------------------
// clock.cpp

// Milliseconds since the system started, wrapping at 2^32 (the multimedia timer of the original platform).
std::uint32_t GetTickMs();

// ---------------------------------------------------------------------------------------------------------------
// strings.cpp: the string table

enum class UiLanguage { German, English, Portuguese };

// The interface language from LANGUAGE, LC_ALL, LC_MESSAGES, LANG (first one set and non-empty): de* German,
// pt* Portuguese, everything else English.
UiLanguage GetUiLanguage();
void SetUiLanguage(UiLanguage language); // overrides the environment (tests, a command-line switch)

// The text of string-table entry `id` in the interface language, as an ANSI string of at most 99 characters
// (the 100-character buffer of the original). An unknown ID gives the empty string.
std::string LoadStringA(unsigned id);
