#include "tests/support/DovecotServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace velkora::test {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStartTimeoutMs = 15000;
constexpr int kGreetingTimeoutMs = 5000;
constexpr int kStopGraceMs = 150;
constexpr int kStopTimeoutMs = 5000;
constexpr int kLaunchAttempts = 3;

int remainingMs(Clock::time_point deadline) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const fs::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

// A port on 127.0.0.1 that nothing listens on right now. Dovecot binds it a moment later;
// start() retries with another port if someone took it in between.
uint16_t freeLoopbackPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::runtime_error("socket failed");
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot find a free port");
    }
    ::close(fd);
    return ntohs(addr.sin_port);
}

// Waits up to timeoutMs for the child to end; reaps it and returns true when it has.
bool waitForExit(pid_t pid, int pidfd, int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) {
            return true;
        }
        int left = remainingMs(deadline);
        if (left == 0) {
            return false;
        }
        if (pidfd >= 0) {
            pollfd p{pidfd, POLLIN, 0};
            ::poll(&p, 1, left);
        } else {
            // No pidfd (old kernel): sleep in short steps; this only runs in teardown.
            ::usleep(10000);
        }
    }
}

// Connects to 127.0.0.1:port and reads the first line. "" when nothing listens yet.
// Sends QUIT so that the probe leaves no session behind.
std::string probeGreeting(uint16_t port, int timeoutMs) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return "";
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return "";
    }
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string line;
    char buffer[256];
    while (line.find("\r\n") == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, remainingMs(deadline)) <= 0) {
            break;
        }
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            break;
        }
        line.append(buffer, static_cast<std::size_t>(n));
    }
    static const char quit[] = "QUIT\r\n";
    (void)!::send(fd, quit, sizeof quit - 1, MSG_NOSIGNAL);
    ::close(fd);
    return line.empty() ? std::string("(connected, no greeting)") : line;
}

std::string userName(uid_t uid) {
    passwd* pw = ::getpwuid(uid);
    return pw ? pw->pw_name : std::to_string(uid);
}

std::string groupName(gid_t gid) {
    group* gr = ::getgrgid(gid);
    return gr ? gr->gr_name : std::to_string(gid);
}

std::string tail(const std::string& text, std::size_t max) {
    return text.size() <= max ? text : text.substr(text.size() - max);
}

}  // namespace

bool DovecotServer::ipv6LoopbackAvailable() {
    int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in6 addr{};
    addr.sin6_family = AF_INET6;
    addr.sin6_addr = in6addr_loopback;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return bound;
}

void DovecotServer::useTls(const std::string& certificatePem, const std::string& keyPem) {
    writeFile(fs::path(dir_) / "server.pem", certificatePem);
    writeFile(fs::path(dir_) / "server.key", keyPem);
    tls_ = true;
}

std::string DovecotServer::findBinary() {
    std::vector<std::string> dirs;
    if (const char* path = std::getenv("PATH")) {
        std::stringstream ss(path);
        std::string dir;
        while (std::getline(ss, dir, ':')) {
            if (!dir.empty()) {
                dirs.push_back(dir);
            }
        }
    }
    // Non-root PATHs often lack the sbin folders where Debian puts dovecot.
    dirs.insert(dirs.end(), {"/usr/sbin", "/sbin", "/usr/local/sbin"});
    for (const auto& dir : dirs) {
        std::string candidate = dir + "/dovecot";
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return "";
}

DovecotServer::DovecotServer() {
    std::string base = "/tmp";
    if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp && std::strlen(tmp) < 48) {
        base = tmp;  // unix socket paths under base_dir must stay short
    }
    std::string pattern = base + "/velkora-dovecot-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed: " + std::string(std::strerror(errno)));
    }
    dir_ = buffer.data();
    fs::create_directories(fs::path(dir_) / "mail");

    if (::geteuid() == 0) {
        // Dovecot refuses to run its login processes or to serve mail as root; it brings its
        // own unprivileged users for that, and those must be able to reach the folder.
        passwd* login = ::getpwnam("dovenull");
        passwd* internal = ::getpwnam("dovecot");
        if (login == nullptr || internal == nullptr) {
            throw std::runtime_error(
                "running as root needs Dovecot's system users dovenull and dovecot "
                "(package dovecot-core)");
        }
        loginUser_ = login->pw_name;
        internalUser_ = internal->pw_name;
        internalGroup_ = groupName(internal->pw_gid);
        mailUid_ = internal->pw_uid;
        mailGid_ = internal->pw_gid;
        ::chmod(dir_.c_str(), 0755);
    } else {
        loginUser_ = userName(::geteuid());
        internalUser_ = loginUser_;
        internalGroup_ = groupName(::getegid());
        mailUid_ = ::geteuid();
        mailGid_ = ::getegid();
    }
}

DovecotServer::~DovecotServer() {
    stop();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

std::string DovecotServer::mailDirOf(const std::string& user) const {
    return dir_ + "/mail/" + user;
}

void DovecotServer::addUser(const std::string& name, const std::string& password) {
    for (const char* sub : {"cur", "new", "tmp"}) {
        fs::create_directories(fs::path(mailDirOf(name)) / sub);
    }
    users_.push_back({name, password});
    writePasswd();
    giveMailToMailUser();
}

void DovecotServer::copyMaildir(const std::string& user, const std::string& sourceMaildir) {
    fs::path cur = fs::path(sourceMaildir) / "cur";
    for (const auto& entry : fs::directory_iterator(cur)) {
        if (entry.is_regular_file()) {
            fs::copy_file(entry.path(), fs::path(mailDirOf(user)) / "cur" / entry.path().filename(),
                          fs::copy_options::overwrite_existing);
        }
    }
    giveMailToMailUser();
}

void DovecotServer::addMessage(const std::string& user, const std::string& fileName,
                               const std::string& content) {
    const fs::path path = fs::path(mailDirOf(user)) / "cur" / fileName;
    writeFile(path, content);
    if (::geteuid() == 0) {
        (void)!::lchown(path.c_str(), mailUid_, mailGid_);
    }
}

void DovecotServer::giveMailToMailUser() const {
    if (::geteuid() != 0) {
        return;
    }
    fs::path mail = fs::path(dir_) / "mail";
    (void)!::chown(mail.c_str(), mailUid_, mailGid_);
    for (const auto& entry : fs::recursive_directory_iterator(mail)) {
        (void)!::lchown(entry.path().c_str(), mailUid_, mailGid_);
    }
}

void DovecotServer::writePasswd() const {
    std::ostringstream out;
    for (const auto& user : users_) {
        out << user.name << ":{PLAIN}" << user.password << ":" << mailUid_ << ":" << mailGid_
            << "::" << mailDirOf(user.name) << "\n";
    }
    writeFile(fs::path(dir_) / "passwd", out.str());
}

void DovecotServer::writeConfig() const {
    const std::string& d = dir_;
    const std::string addresses = ipv6_ ? "127.0.0.1, ::1" : "127.0.0.1";
    std::ostringstream conf;
    conf << "# Private test instance; nothing here refers to the system's Dovecot.\n"
         << "protocols = pop3\n"
         << "listen = " << addresses << "\n"
         << "base_dir = " << d << "/run\n"
         << "state_dir = " << d << "/state\n"
         << "log_path = " << d << "/dovecot.log\n"
         << "info_log_path = " << d << "/dovecot.log\n"
         << (tls_ ? "ssl = yes\nssl_cert = <" + d + "/server.pem\nssl_key = <" + d +
                        "/server.key\nssl_min_protocol = TLSv1.2\n"
                  : std::string("ssl = no\n"))
         << "disable_plaintext_auth = no\n"
         << "auth_mechanisms = plain\n"
         // Tests log in with wrong passwords on purpose and must not wait for the penalty.
         << "auth_failure_delay = 0\n"
         << "default_login_user = " << loginUser_ << "\n"
         << "default_internal_user = " << internalUser_ << "\n"
         << "default_internal_group = " << internalGroup_ << "\n"
         << "first_valid_uid = " << mailUid_ << "\n"
         << "first_valid_gid = 0\n"
         << "mail_location = maildir:" << d << "/mail/%u\n"
         << "mail_fsync = never\n"
         << "passdb {\n"
         << "  driver = passwd-file\n"
         << "  args = scheme=PLAIN username_format=%u " << d << "/passwd\n"
         << "}\n"
         << "userdb {\n"
         << "  driver = passwd-file\n"
         << "  args = username_format=%u " << d << "/passwd\n"
         << "}\n"
         // chroot needs root; the private instance does without it in every case.
         << "service anvil {\n"
         << "  chroot =\n"
         // No penalty socket, no login penalty: a wrong password must not slow down the
         // accounts checked after it.
         << "  unix_listener anvil-auth-penalty {\n"
         << "    mode = 0\n"
         << "  }\n"
         << "}\n"
         << "service pop3-login {\n"
         << "  chroot =\n"
         << "  process_min_avail = 1\n"
         << "  inet_listener pop3 {\n"
         << "    address = " << addresses << "\n"
         << "    port = " << port_ << "\n"
         << "  }\n";
    if (tls_) {
        conf << "  inet_listener pop3s {\n"
             << "    address = " << addresses << "\n"
             << "    port = " << tlsPort_ << "\n"
             << "    ssl = yes\n"
             << "  }\n";
    }
    conf << "}\n";
    writeFile(fs::path(d) / "dovecot.conf", conf.str());
}

std::string DovecotServer::logText() const {
    return readFile(fs::path(dir_) / "dovecot.log") + readFile(fs::path(dir_) / "stderr.log");
}

bool DovecotServer::start(std::string* error) {
    if (running()) {
        return true;
    }
    std::string last;
    for (int attempt = 0; attempt < kLaunchAttempts; ++attempt) {
        if (launchOnce(&last)) {
            return true;
        }
        if (last.find("Address already in use") == std::string::npos) {
            break;
        }
    }
    if (error) {
        *error = last;
    }
    return false;
}

bool DovecotServer::launchOnce(std::string* error) {
    std::string binary = findBinary();
    if (binary.empty()) {
        *error = "dovecot is not installed";
        return false;
    }
    port_ = freeLoopbackPort();
    tlsPort_ = tls_ ? freeLoopbackPort() : 0;
    writePasswd();
    writeConfig();
    std::error_code ignored;
    fs::remove(fs::path(dir_) / "dovecot.log", ignored);

    std::string conf = dir_ + "/dovecot.conf";
    std::string errPath = dir_ + "/stderr.log";
    std::vector<std::string> args = {binary, "-F", "-c", conf};
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    int devnull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (devnull < 0 || errFd < 0) {
        *error = "cannot open the log files";
        if (devnull >= 0) {
            ::close(devnull);
        }
        if (errFd >= 0) {
            ::close(errFd);
        }
        return false;
    }
    pid_t parent = ::getpid();
    pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec.
        // Its own process group, so that stop() can reach every process of the server.
        ::setpgid(0, 0);
        ::dup2(devnull, 0);
        ::dup2(errFd, 1);
        ::dup2(errFd, 2);
        ::close_range(3, ~0U, 0);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        // A test that dies without its teardown must not leave the server behind.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(devnull);
    ::close(errFd);
    if (pid < 0) {
        *error = std::string("fork failed: ") + std::strerror(errno);
        return false;
    }
    ::setpgid(pid, pid);  // also here, so that the group exists whoever runs first
    pid_ = pid;
    pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));

    // The master binds the port before it starts the login processes, so the first connect
    // that succeeds waits in the queue for the greeting.
    auto deadline = Clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (remainingMs(deadline) > 0) {
        std::string greeting = probeGreeting(port_, kGreetingTimeoutMs);
        if (greeting.rfind("+OK", 0) == 0) {
            return true;
        }
        if (!greeting.empty()) {
            *error = "unexpected greeting: " + greeting + "\n" + tail(logText(), 2000);
            stop();
            return false;
        }
        // Not listening yet: sleep a little, waking at once if the master ends.
        if (waitForExit(pid_, pidfd_, 20)) {
            pid_ = -1;
            if (pidfd_ >= 0) {
                ::close(pidfd_);
                pidfd_ = -1;
            }
            *error = "dovecot ended during start-up:\n" + tail(logText(), 2000);
            return false;
        }
    }
    *error = "dovecot did not greet within the start-up time:\n" + tail(logText(), 2000);
    stop();
    return false;
}

void DovecotServer::stop() {
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGTERM);
    // The master stops its services at once but then gives its log process a fixed second
    // before it exits itself. Once the services are gone nothing of value is left, so the
    // rest of the group is ended instead of waited for.
    if (!waitForExit(pid_, pidfd_, kStopGraceMs)) {
        ::kill(-pid_, SIGKILL);
        waitForExit(pid_, pidfd_, kStopTimeoutMs);
    }
    pid_ = -1;
    if (pidfd_ >= 0) {
        ::close(pidfd_);
        pidfd_ = -1;
    }
}

}  // namespace velkora::test
