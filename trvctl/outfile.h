// A file that trvctl writes (an export, a rejects file): gathered in memory
// and written in one go by commit(), so that a failed export leaves nothing
// behind.
//
// A regular file (or a new one) is written as a temporary file beside it,
// synced and renamed over it, keeping the old file's mode (and owner, where
// allowed); anything else -- a symbolic link, a FIFO, a device such as
// /dev/stdout or /dev/full -- is opened and written directly, so that the
// link or device stays what it is. "-" is standard output. Every write is
// checked, the final close included.
#pragma once

#include <sys/types.h>

#include <string>

namespace trvctl {

class OutFile {
public:
    // `secret`: the file holds passwords or PINs: created with mode 0600, and
    // a file it replaces loses its group and other permissions.
    explicit OutFile(std::string path, bool secret = false);
    ~OutFile();
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;

    void write(const std::string& bytes) { data_ += bytes; }
    // Writes it out; throws ToolError naming the file and the reason.
    void commit();
    const std::string& path() const { return path_; }
    bool toStdout() const { return path_ == "-"; }

private:
    void writeAll(int fd, const std::string& where);
    std::string path_, data_;
    bool secret_;
};

}  // namespace trvctl
