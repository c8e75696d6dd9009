// Where each registry root lives on disk, and the locked, crash-safe read-modify-write of its file.
#include "RegistryStore.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kalvo::registry {

namespace {

std::string envOr(const char* name, const std::string& fallback)
{
    const char* v = std::getenv(name);
    return (v && *v) ? std::string(v) : fallback;
}

void makePath(const std::string& dir)
{
    std::string partial;
    for (size_t i = 0; i <= dir.size(); ++i) {
        if (i == dir.size() || (dir[i] == '/' && i > 0)) {
            partial = dir.substr(0, i);
            ::mkdir(partial.c_str(), 0700);
        }
    }
}

// Holds an flock on the folder's lock file while alive; shared for reads, exclusive for writes.
class FolderLock
{
public:
    FolderLock(const std::string& dir, int operation)
    {
        m_fd = ::open((dir + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd >= 0)
            while (::flock(m_fd, operation) != 0 && errno == EINTR) {
            }
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // closing releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int m_fd = -1;
};

bool readWhole(const std::string& path, std::string& text, bool& exists)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    exists = fd >= 0 || errno != ENOENT;
    if (fd < 0)
        return !exists;
    char buf[8192];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        text.append(buf, size_t(n));
    ::close(fd);
    return n == 0;
}

bool writeAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

std::mutex g_movedMutex;
std::vector<std::string> g_moved;

void rememberMovedAside(const std::string& path)
{
    std::lock_guard lock(g_movedMutex);
    g_moved.push_back(path);
}
} // namespace

std::string registryDirectory()
{
    std::string config = envOr("XDG_CONFIG_HOME", envOr("HOME", "/tmp") + "/.config");
    return envOr("KALVO_REGISTRY_DIR", config + "/kalvo/registry");
}

RegistryStore::RegistryStore(std::string rootName) : m_rootName(std::move(rootName)) {}

std::string RegistryStore::filePath() const
{
    return registryDirectory() + "/" + m_rootName + ".reg";
}

std::vector<std::string> takeMovedAsideFiles()
{
    std::lock_guard lock(g_movedMutex);
    return std::exchange(g_moved, {});
}

RegistryHive RegistryStore::load() const
{
    std::string dir = registryDirectory();
    struct stat st
    {
    };
    if (::stat(dir.c_str(), &st) != 0)
        return RegistryHive(m_rootName); // nothing stored yet
    FolderLock lock(dir, LOCK_SH);
    return loadUnlocked();
}

RegistryHive RegistryStore::loadUnlocked() const
{
    RegistryHive hive(m_rootName);
    std::string path = filePath(), text, error;
    bool exists = false;
    if (!readWhole(path, text, exists)) {
        std::fprintf(stderr, "registry: cannot read %s\n", path.c_str());
        return hive;
    }
    if (!exists || hive.parse(text, error))
        return hive;

    // Never let a later write silently replace what could not be read: keep it for the user.
    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%S", std::localtime(&now));
    std::string aside = path + ".unreadable-" + stamp;
    if (::rename(path.c_str(), aside.c_str()) == 0) {
        rememberMovedAside(aside);
        std::fprintf(stderr, "registry: %s does not parse (%s); moved to %s\n", path.c_str(), error.c_str(),
                     aside.c_str());
    } else
        std::fprintf(stderr, "registry: %s does not parse (%s)\n", path.c_str(), error.c_str());
    return RegistryHive(m_rootName);
}

bool RegistryStore::update(const std::function<bool(RegistryHive&)>& change) const
{
    std::string dir = registryDirectory();
    makePath(dir);
    FolderLock lock(dir, LOCK_EX);
    RegistryHive hive = loadUnlocked();
    if (!change(hive))
        return true;

    std::string path = filePath(), temp = path + ".tmp";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, hive.serialise()) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself must reach the disk too.
    int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

} // namespace kalvo::registry
