// nginx for the tests and the load benchmark: started as the current user
// on a loopback port, in one process in the foreground, with its prefix,
// log and temporary folders in a folder of its own, serving one server
// block (the static export's nginx.conf).
#ifndef VESKUPDATE_TESTS_NGINXSERVER_H
#define VESKUPDATE_TESTS_NGINXSERVER_H

#include "support/ChildProcess.h"

#include <filesystem>
#include <memory>
#include <string>

/// nginx's program, or empty when it is not installed.
std::string FindNginx();

/// A loopback port nobody listens on at the moment.
int FreePort();

class CNginxServer
{
public:
    /// Starts `program` with `serverBlock` (which listens on 127.0.0.1:`port`)
    /// and waits up to 5 s for it to answer.
    CNginxServer(const std::string& program, const std::filesystem::path& dir, const std::filesystem::path& serverBlock,
                 int port);

    /// Whether it answered; false also when the port was taken meanwhile.
    bool Started() const { return m_process != nullptr; }
    /// What nginx logged.
    std::string Log() const;

private:
    std::filesystem::path m_dir;
    std::unique_ptr<testsupport::CBackgroundProgram> m_process; // stopped when destroyed
};

#endif // VESKUPDATE_TESTS_NGINXSERVER_H
