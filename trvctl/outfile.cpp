#include "outfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <vector>

#include "util.h"

namespace trvctl {

namespace {

std::string reason(int err) { return std::strerror(err); }

}  // namespace

OutFile::OutFile(std::string path, bool secret) : path_(std::move(path)), secret_(secret) {}

OutFile::~OutFile() = default;

void OutFile::writeAll(int fd, const std::string& where) {
    size_t done = 0;
    while (done < data_.size()) {
        const ssize_t n = ::write(fd, data_.data() + done, data_.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw ToolError("cannot write " + where + ": " + reason(n < 0 ? errno : EIO));
        done += static_cast<size_t>(n);
    }
}

void OutFile::commit() {
    if (toStdout()) {
        // Through stdio, in order with anything else printed there.
        std::cout.flush();
        if (std::fwrite(data_.data(), 1, data_.size(), stdout) != data_.size() || std::fflush(stdout) != 0)
            throw ToolError(std::string("cannot write to standard output: ") + reason(errno));
        data_.clear();
        return;
    }
    struct stat st {};
    const bool exists = lstat(path_.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) throw ToolError("cannot write " + path_ + ": " + reason(errno));
    if (exists && S_ISDIR(st.st_mode)) throw ToolError("cannot write " + path_ + ": it is a directory");

    if (exists && !S_ISREG(st.st_mode)) {
        // A link, FIFO or device: written into, never replaced.
        const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, secret_ ? 0600 : 0666);
        if (fd < 0) throw ToolError("cannot write " + path_ + ": " + reason(errno));
        try {
            writeAll(fd, path_);
        } catch (...) {
            close(fd);
            throw;
        }
        if (close(fd) != 0) throw ToolError("cannot write " + path_ + ": " + reason(errno));
        data_.clear();
        return;
    }

    // A regular file or a new one: a temporary file beside it, renamed over it.
    std::string tmpl = path_ + ".partXXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) throw ToolError("cannot write " + path_ + ": " + reason(errno));
    const std::string tmp(name.data());
    setCleanupFile(tmp);
    auto fail = [&](const std::string& what) {
        const int err = errno;
        close(fd);
        unlink(tmp.c_str());
        setCleanupFile("");
        throw ToolError("cannot write " + path_ + ": " + what + (err ? ": " + reason(err) : ""));
    };
    mode_t mode;
    if (exists) {
        mode = st.st_mode & 07777;
        if (secret_) mode &= 0700;
        // Root replaces a file of someone else's as theirs.
        if (fchown(fd, st.st_uid, st.st_gid) != 0) {
        }
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = secret_ ? 0600 : (0666 & ~mask);
    }
    if (fchmod(fd, mode) != 0) fail("cannot set its mode");
    try {
        writeAll(fd, path_);
    } catch (const ToolError& e) {
        close(fd);
        unlink(tmp.c_str());
        setCleanupFile("");
        throw;
    }
    if (fsync(fd) != 0) fail("sync");
    if (close(fd) != 0) {
        const int err = errno;
        unlink(tmp.c_str());
        setCleanupFile("");
        throw ToolError("cannot write " + path_ + ": " + reason(err));
    }
    if (std::rename(tmp.c_str(), path_.c_str()) != 0) {
        const int err = errno;
        unlink(tmp.c_str());
        setCleanupFile("");
        throw ToolError("cannot write " + path_ + ": " + reason(err));
    }
    setCleanupFile("");
    data_.clear();
}

}  // namespace trvctl
