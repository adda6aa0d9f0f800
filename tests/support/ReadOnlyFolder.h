// Makes an existing folder read-only for the calling thread while alive,
// for everyone including root: an ordinary user gets mode 0555; root, whom
// modes do not stop, gets a read-only bind mount of the folder over itself
// inside a private mount namespace of the calling thread (nothing leaks to
// the rest of the machine). Ok() is false when neither could be done.
#pragma once

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

class TReadOnlyFolder {
public:
    explicit TReadOnlyFolder(std::string folder) : folder_(std::move(folder)) {
        if (geteuid() != 0) {
            ok_ = chmod(folder_.c_str(), 0555) == 0;
            return;
        }
        // Once per thread: the namespace stays, only the mounts come and go.
        static thread_local bool privateNamespace =
            unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        mounted_ = privateNamespace && mount(folder_.c_str(), folder_.c_str(), nullptr, MS_BIND, nullptr) == 0;
        ok_ = mounted_ &&
              mount("none", folder_.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    }
    ~TReadOnlyFolder() {
        if (mounted_)
            umount2(folder_.c_str(), MNT_DETACH);
        else if (ok_)
            chmod(folder_.c_str(), 0755);
    }
    TReadOnlyFolder(const TReadOnlyFolder&) = delete;
    TReadOnlyFolder& operator=(const TReadOnlyFolder&) = delete;

    bool Ok() const { return ok_; }

private:
    std::string folder_;
    bool mounted_ = false;
    bool ok_ = false;
};
