// Test support: real processes with chosen command lines.
//
//   SpawnedProcess p({"/opt/sybase/bin/dataserver", "-sSRV1"},
//                    {"QEN_ZONEID=3"},   // added to the environment (optional)
//                    1001);              // run as this uid (optional; needs root)
//   ASSERT_TRUE(p.ok()) << p.error();
//   ... p.pid() ...
//   p.kill();                            // or let the destructor do it
//
// The process is argvsleep (sleeps until killed), exec'd with exactly the
// given argv. The constructor returns once the exec has happened, so
// /proc/<pid>/cmdline already shows the chosen arguments.
#ifndef QEN_TEST_SPAWN_H
#define QEN_TEST_SPAWN_H

#include <sys/types.h>

#include <string>
#include <vector>

class SpawnedProcess {
public:
    static constexpr uid_t kSameUid = static_cast<uid_t>(-1);

    explicit SpawnedProcess(std::vector<std::string> argv, std::vector<std::string> env_add = {},
                            uid_t uid = kSameUid);
    ~SpawnedProcess();
    SpawnedProcess(const SpawnedProcess&) = delete;
    SpawnedProcess& operator=(const SpawnedProcess&) = delete;

    bool ok() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    const std::string& error() const { return error_; }
    // SIGKILL and reap; no-op when not running.
    void kill();

private:
    pid_t pid_ = -1;
    std::string error_;
};

// Path of the argvsleep program.
const char* argvsleep_path();

#endif
