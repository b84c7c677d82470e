#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velkora::test {

// A private Dovecot POP3 server for one test program: its own configuration, users, maildirs,
// runtime and log files in a temporary folder, listening on 127.0.0.1 at a free port. It never
// reads or changes the system's /etc/dovecot or its services. Run as root it hands the login
// processes and the mail to Dovecot's own unprivileged users; otherwise everything runs as the
// current user.
class DovecotServer {
public:
    DovecotServer();
    // Stops the server and removes the temporary folder.
    ~DovecotServer();

    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    // The dovecot binary, or "" when it is not installed.
    static std::string findBinary();

    // A user with an empty maildir. Users may be added before or after start().
    void addUser(const std::string& name, const std::string& password);
    // Copies the message files of sourceMaildir/cur into the user's maildir.
    void copyMaildir(const std::string& user, const std::string& sourceMaildir);
    // Writes one message file (CR LF lines) into the user's maildir under the given name.
    void addMessage(const std::string& user, const std::string& fileName,
                    const std::string& content);

    // TLS with this certificate (before start()): STARTTLS ("STLS") on port(), and TLS from
    // the first byte on tlsPort().
    void useTls(const std::string& certificatePem, const std::string& keyPem);
    // Listens on ::1 as well as on 127.0.0.1, at the same ports (before start()).
    void listenOnIpv6Too() { ipv6_ = true; }
    // True when this machine can listen on ::1.
    static bool ipv6LoopbackAvailable();

    // Starts dovecot and waits until its port greets with "+OK". On failure returns false
    // with the reason and the tail of Dovecot's log in *error.
    bool start(std::string* error);
    // SIGTERM, then waits for the master to end (SIGKILL after a few seconds).
    void stop();

    bool running() const { return pid_ > 0; }
    uint16_t port() const { return port_; }
    uint16_t tlsPort() const { return tlsPort_; }
    const std::string& directory() const { return dir_; }
    std::string logText() const;

private:
    std::string mailDirOf(const std::string& user) const;
    void writeConfig() const;
    void writePasswd() const;
    void giveMailToMailUser() const;
    bool launchOnce(std::string* error);

    struct User {
        std::string name;
        std::string password;
    };

    std::string dir_;
    std::vector<User> users_;
    uint16_t port_ = 0;
    uint16_t tlsPort_ = 0;
    bool tls_ = false;
    bool ipv6_ = false;
    pid_t pid_ = -1;
    int pidfd_ = -1;
    // The identity that owns the mail and runs the POP3 processes.
    uid_t mailUid_ = 0;
    gid_t mailGid_ = 0;
    std::string loginUser_;
    std::string internalUser_;
    std::string internalGroup_;
};

}  // namespace velkora::test
