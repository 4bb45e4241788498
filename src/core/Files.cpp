#include "core/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <vector>

#include "core/Errors.h"

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    const auto st = std::filesystem::status(path, ec);
    return !ec && std::filesystem::exists(st) && !std::filesystem::is_directory(st);
}

// Opens a regular file for reading; -1 for anything else (a pipe would block, a
// device might never end).
int OpenRegularFile(const std::string& path) {
    if (path.empty()) return -1;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    const int fd = OpenRegularFile(path);
    if (fd < 0) return false;
    struct stat st {};
    const size_t announced = ::fstat(fd, &st) == 0 && st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0;
    bool ok = true;
    try {
        // One read of the announced size; whatever a growing file has beyond it follows
        // in chunks.
        bytes.resize(announced);
        size_t used = 0;
        while (used < announced) {
            const ssize_t got = ::read(fd, bytes.data() + used, announced - used);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                ok = got == 0;
                break;
            }
            used += static_cast<size_t>(got);
        }
        bytes.resize(used);
        if (ok && used == announced) {
            char chunk[65536];
            for (;;) {
                const ssize_t got = ::read(fd, chunk, sizeof chunk);
                if (got < 0 && errno == EINTR) continue;
                if (got <= 0) {
                    ok = got == 0;
                    break;
                }
                bytes.append(chunk, static_cast<size_t>(got));
            }
        }
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    ::close(fd);
    if (!ok) bytes.clear();
    return ok;
}

std::string ExtractFileName(const std::string& path) {
    const size_t p = path.find_last_of("/\\");
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string ExtractFileDir(const std::string& path) {
    const size_t p = path.find_last_of("/\\");
    return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string ExtractFileExt(const std::string& path) {
    const size_t sep = path.find_last_of("/\\");
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return {};
    return path.substr(dot);
}

namespace {
std::string ErrnoText() { return std::strerror(errno); }
}  // namespace

// Writes bytes to a temporary file in the folder of path, then renames it over path.
// The new file gets the permissions of the one it replaces, or the usual ones.
void WriteFileReplacing(const std::string& path, const std::string& bytes)
{
    const char* data = bytes.data();
    const size_t size = bytes.size();
    if (path.empty()) throw EInOutError("No file name to write to");
    std::vector<char> temp(path.begin(), path.end());
    const char suffix[] = ".tmp-XXXXXX";
    temp.insert(temp.end(), suffix, suffix + sizeof suffix);  // with the terminating zero
    const int fd = mkstemp(temp.data());
    if (fd < 0) throw EInOutError("Cannot write file " + path + ": " + ErrnoText(), path);
    const std::string tempName(temp.data());

    auto fail = [&](const std::string& what) {
        const std::string reason = ErrnoText();
        close(fd);
        unlink(tempName.c_str());
        throw EInOutError(what + path + ": " + reason, path);
    };

    struct stat old {};
    mode_t mode;
    if (stat(path.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    if (fchmod(fd, mode) != 0) fail("Cannot write file ");

    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("Cannot write file ");
        }
        done += static_cast<size_t>(n);
    }
    if (fsync(fd) != 0) fail("Cannot write file ");
    if (close(fd) != 0) {
        const std::string reason = ErrnoText();
        unlink(tempName.c_str());
        throw EInOutError("Cannot write file " + path + ": " + reason, path);
    }
    if (rename(tempName.c_str(), path.c_str()) != 0) {
        const std::string reason = ErrnoText();
        unlink(tempName.c_str());
        throw EInOutError("Cannot write file " + path + ": " + reason, path);
    }
}
