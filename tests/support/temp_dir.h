// A temporary directory for a test, removed with its files at the end.
#ifndef QEN_TEST_TEMP_DIR_H
#define QEN_TEST_TEMP_DIR_H

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <list>
#include <string>
#include <system_error>
#include <tuple>
#include <utility>

class TempDir {
public:
    // Made under /tmp, open to every user (programs under test may run as
    // another uid); path() is empty when it could not be made.
    TempDir()
    {
        char tmpl[] = "/tmp/qen_test_XXXXXX";
        const char* made = mkdtemp(tmpl);
        path_ = made ? made : "";
        if (!path_.empty())
            chmod(path_.c_str(), 0755);
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }

    // Leaves the directory where it is when this object goes (path() is
    // empty from then on).
    void keep() { path_.clear(); }

    // Writes a file at rel (directories made as needed, mode 0755) with the
    // given mode; returns its full path.
    std::string write(const std::string& rel, const std::string& body, mode_t mode = 0755) const
    {
        std::string full = path_ + "/" + rel;
        for (size_t at = full.find('/', path_.size() + 1); at != std::string::npos;
             at = full.find('/', at + 1))
            mkdir(full.substr(0, at).c_str(), 0755);
        {
            std::ofstream f(full, std::ios::binary | std::ios::trunc);
            f << body;
        }
        chmod(full.c_str(), mode);
        return full;
    }

private:
    std::string path_;
};

// A new temporary directory that lives until the process ends, then goes
// with its files; "" when it could not be made. Only the process that made
// a directory removes it: a forked child that leaves through exit() leaves
// its parent's directories in place.
inline std::string kept_temp_dir()
{
    struct Kept {
        std::list<std::pair<pid_t, TempDir>> dirs;  // the maker's pid, the directory
        ~Kept()
        {
            for (auto& [maker, dir] : dirs)
                if (maker != getpid())
                    dir.keep();
        }
    };
    static Kept kept;
    auto& made = kept.dirs.emplace_back(std::piecewise_construct, std::forward_as_tuple(getpid()),
                                        std::forward_as_tuple());
    return made.second.path();
}

#endif
