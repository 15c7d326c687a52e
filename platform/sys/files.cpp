// Paths, files and directories: the case-insensitive resolver, whole-file reads, listings, the current directory
// and the write-to-temporary-then-move writer.
#include "sys.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Folds ASCII and Latin-1 letters of a UTF-8 string to lower case, byte for byte otherwise.
std::string FoldCase(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        auto b = static_cast<unsigned char>(utf8[i]);
        if (b >= 'A' && b <= 'Z') {
            out += static_cast<char>(b + 32);
        } else if (b == 0xC3 && i + 1 < utf8.size()) {
            // U+00C0..U+00DE (but U+00D7) are the upper-case letters of Latin-1: 0xC3 0x80..0x9E.
            auto b1 = static_cast<unsigned char>(utf8[i + 1]);
            if (b1 >= 0x80 && b1 <= 0x9E && b1 != 0x97) b1 = static_cast<unsigned char>(b1 + 0x20);
            out += static_cast<char>(b);
            out += static_cast<char>(b1);
            ++i;
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

bool PathExists(const std::string& p) {
    struct stat st {};
    return lstat(p.c_str(), &st) == 0;
}

// The entry of `dir` whose name equals `name` without regard to case; the first in byte order when several do.
bool FindFolded(const std::string& dir, const std::string& name, std::string& found) {
    DIR* d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return false;
    const std::string want = FoldCase(name);
    bool any = false;
    while (dirent* e = readdir(d)) {
        const std::string candidate = e->d_name;
        if (FoldCase(candidate) == want && (!any || candidate < found)) {
            found = candidate;
            any = true;
        }
    }
    closedir(d);
    return any;
}

std::string ReasonOf(int err) { return std::strerror(err); }

std::string ParentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

} // namespace

std::string DiskPath(std::string_view ansiPath) {
    std::string unified(ansiPath);
    std::replace(unified.begin(), unified.end(), '\\', '/');
    const std::string utf8 = AnsiToUtf8(unified);

    std::string out;
    std::size_t pos = 0;
    if (!utf8.empty() && utf8[0] == '/') {
        out = "/";
        pos = 1;
    }
    bool resolving = true;
    while (pos <= utf8.size()) {
        std::size_t next = utf8.find('/', pos);
        if (next == std::string::npos) next = utf8.size();
        const std::string comp = utf8.substr(pos, next - pos);
        const bool last = next == utf8.size();
        if (!comp.empty()) {
            std::string use = comp;
            if (resolving && comp != "." && comp != "..") {
                const std::string dir = out.empty() ? std::string() : out;
                if (!PathExists(out + comp)) {
                    std::string found;
                    if (FindFolded(dir, comp, found)) use = found;
                    else resolving = false;
                }
            }
            out += use;
            if (!last) out += '/';
        } else if (!last && !out.empty() && out.back() != '/') {
            out += '/';
        }
        if (last) break;
        pos = next + 1;
    }
    return out;
}

bool FileExists(std::string_view ansiPath) {
    struct stat st {};
    return stat(DiskPath(ansiPath).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(std::string_view ansiPath) {
    struct stat st {};
    return stat(DiskPath(ansiPath).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

ReadResult ReadWholeFile(std::string_view ansiPath) {
    ReadResult r;
    const std::string path = DiskPath(ansiPath);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        r.reason = ReasonOf(err);
        if (err == ENOENT) {
            struct stat st {};
            const std::string parent = ParentOf(path);
            r.failure = (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? ReadFailure::FileNotFound
                                                                                 : ReadFailure::DirectoryNotFound;
        } else if (err == ENOTDIR) {
            r.failure = ReadFailure::DirectoryNotFound;
        } else if (err == EACCES || err == EPERM) {
            r.failure = ReadFailure::AccessDenied;
        } else {
            r.failure = ReadFailure::IoError;
        }
        return r;
    }
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(fd);
        r.failure = ReadFailure::IsDirectory;
        r.reason = ReasonOf(EISDIR);
        return r;
    }
    if (st.st_size > 0) r.bytes.reserve(static_cast<std::size_t>(st.st_size));
    std::uint8_t buf[65536];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            r.failure = ReadFailure::IoError;
            r.reason = ReasonOf(errno);
            r.bytes.clear();
            break;
        }
        r.bytes.insert(r.bytes.end(), buf, buf + n);
    }
    close(fd);
    return r;
}

bool ListFiles(std::string_view ansiDir, std::string_view suffix, std::vector<std::string>& names) {
    names.clear();
    std::string dir = DiskPath(ansiDir);
    if (dir.empty()) dir = ".";
    DIR* d = opendir(dir.c_str());
    if (!d) return false;
    const std::string foldedSuffix = FoldCase(suffix);
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() < suffix.size() || FoldCase(name.substr(name.size() - suffix.size())) != foldedSuffix)
            continue;
        struct stat st {};
        const std::string full = dir + (dir.back() == '/' ? "" : "/") + name;
        if (stat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        std::string ansi;
        if (!Utf8ToAnsi(name, ansi)) continue;
        names.push_back(std::move(ansi));
    }
    closedir(d);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const std::string fa = FoldCase(AnsiToUtf8(a)), fb = FoldCase(AnsiToUtf8(b));
        return fa != fb ? fa < fb : a < b;
    });
    return true;
}

bool SetCurrentDir(std::string_view ansiPath) {
    const std::string path = DiskPath(ansiPath);
    return chdir(path.empty() ? "." : path.c_str()) == 0;
}

std::string GetCurrentDir() {
    std::vector<char> buf(4096);
    while (!getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE) return std::string();
        buf.resize(buf.size() * 2);
    }
    std::string ansi;
    if (!Utf8ToAnsi(buf.data(), ansi)) return buf.data();
    return ansi;
}

std::string WriteFileAtomic(std::string_view ansiPath, std::string_view bytes, bool noReplace) {
    const std::string target = DiskPath(ansiPath);
    const std::string dir = ParentOf(target);
    std::string name = target.substr(target.find_last_of('/') == std::string::npos ? 0 : target.find_last_of('/') + 1);
    if (name.empty()) return ReasonOf(EISDIR);
    std::string tmp = (dir == "/" ? "" : dir) + "/." + name + ".XXXXXX";
    if (target.find('/') == std::string::npos) tmp = "." + name + ".XXXXXX";
    const int fd = mkstemp(tmp.data());
    if (fd < 0) return ReasonOf(errno);

    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);

    auto fail = [&](int err) {
        unlink(tmp.c_str());
        return ReasonOf(err);
    };
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            close(fd);
            return fail(err);
        }
        done += static_cast<std::size_t>(n);
    }
    if (fsync(fd) != 0) {
        const int err = errno;
        close(fd);
        return fail(err);
    }
    if (close(fd) != 0) return fail(errno);

    if (noReplace) {
        // link() refuses an existing target with EEXIST on every file system that has hard links.
        if (link(tmp.c_str(), target.c_str()) != 0) {
            const int err = errno;
            if (err == EEXIST || (renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0))
                return fail(err == EEXIST ? err : errno);
            return std::string();
        }
        unlink(tmp.c_str());
    } else if (rename(tmp.c_str(), target.c_str()) != 0) {
        return fail(errno);
    }
    const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
    return std::string();
}
