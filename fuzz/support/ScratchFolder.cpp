#include "ScratchFolder.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarq::fuzz {

namespace {

std::string nativeOf(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

int removeEntry(const char* path, const struct stat*, int, FTW*) {
    // A failure shows in the check after the walk.
    (void)::remove(path);
    return 0;
}

void removeTree(const std::string& path) {
    ::nftw(path.c_str(), removeEntry, 32, FTW_DEPTH | FTW_PHYS);
}

// Makes every folder of `path` below an existing `base` (path relative to base).
bool makeFolders(const std::string& base, const std::string& path) {
    for (std::size_t slash = path.find('/'); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string folder = base + '/' + path.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

// FNV-1a over the file's bytes: a listing only has to notice a change.
std::string digestOf(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return "unreadable";
    std::uint64_t hash = 14695981039346656037ull;
    char buffer[8192];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        for (ssize_t i = 0; i < n; ++i)
            hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ull;
    }
    ::close(fd);
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

void walk(const std::string& base, const std::string& relative,
          const std::vector<std::string>& skipped, ScratchFolder::Listing& lines) {
    const std::string folder = relative.empty() ? base : base + '/' + relative;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        lines.push_back(relative + " unlistable");
        return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    for (const std::string& name : names) {
        const std::string child = relative.empty() ? name : relative + '/' + name;
        if (std::find(skipped.begin(), skipped.end(), child) != skipped.end())
            continue;
        const std::string path = base + '/' + child;
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            lines.push_back(child + " vanished");
            continue;
        }
        char mode[8];
        std::snprintf(mode, sizeof mode, "%o", static_cast<unsigned>(info.st_mode & 07777));
        if (S_ISLNK(info.st_mode)) {
            char target[4096];
            const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
            lines.push_back(child + " link " + std::string(target, n > 0 ? std::size_t(n) : 0));
        } else if (S_ISDIR(info.st_mode)) {
            lines.push_back(child + " dir " + mode);
            walk(base, child, skipped, lines);
        } else if (S_ISREG(info.st_mode)) {
            lines.push_back(child + " file " + std::to_string(info.st_size) + ' ' + mode + ' ' +
                            digestOf(path));
        } else {
            lines.push_back(child + " other " + std::to_string(info.st_mode));
        }
    }
}

} // namespace

ScratchFolder& ScratchFolder::instance() {
    static ScratchFolder folder; // removed with its content when the process ends normally
    return folder;
}

ScratchFolder::ScratchFolder() {
    std::string pattern = nativeOf(QDir::tempPath() + QStringLiteral("/zarq-fuzz-XXXXXX"));
    if (::mkdtemp(pattern.data()) == nullptr)
        fail("cannot make a scratch folder under $TMPDIR");
    m_root = QFile::decodeName(QByteArray::fromStdString(pattern));
    const QString home = m_root + QStringLiteral("/home");
    if (::mkdir(nativeOf(home).c_str(), 0700) != 0)
        fail("cannot make the scratch home folder");
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home + QStringLiteral("/.cache")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home + QStringLiteral("/.local/share")));
    QFile sentinel(m_root + QStringLiteral("/sentinel"));
    if (!sentinel.open(QIODevice::WriteOnly) || sentinel.write("left alone\n") != 11)
        fail("cannot write the sentinel");
    reset();
}

ScratchFolder::~ScratchFolder() {
    removeTree(nativeOf(m_root));
}

void ScratchFolder::reset() const {
    const std::string folder = nativeOf(scratch());
    removeTree(folder);
    if (::mkdir(folder.c_str(), 0700) != 0)
        fail("cannot empty the scratch folder");
}

void ScratchFolder::write(const QString& relative, const QByteArray& bytes) const {
    const std::string base = nativeOf(scratch());
    const std::string name = nativeOf(relative);
    if (!makeFolders(base, name))
        fail("cannot make a folder in the scratch folder");
    const std::string file = base + '/' + name;
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ::write(fd, bytes.constData(), std::size_t(bytes.size())) != bytes.size())
        fail("cannot write into the scratch folder");
    ::close(fd);
}

void ScratchFolder::link(const QString& target, const QString& relative) const {
    const std::string base = nativeOf(scratch());
    const std::string name = nativeOf(relative);
    if (!makeFolders(base, name) ||
        ::symlink(nativeOf(target).c_str(), (base + '/' + name).c_str()) != 0)
        fail("cannot make a link in the scratch folder");
}

ScratchFolder::Listing ScratchFolder::listing(const QString& dir,
                                              const std::vector<std::string>& skipped) {
    Listing lines;
    walk(nativeOf(dir), std::string(), skipped, lines);
    std::sort(lines.begin(), lines.end());
    return lines;
}

} // namespace zarq::fuzz
