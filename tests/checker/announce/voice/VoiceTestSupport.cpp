#include "tests/checker/announce/voice/VoiceTestSupport.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QAudioFormat>
#include <QAudioSource>
#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QIODevice>
#include <QMediaDevices>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

namespace velkora::test {

namespace {

constexpr const char* kSinkName = "velkora_test";
// Qt lists no monitor sources, so the output's monitor is offered again as a plain source.
constexpr const char* kRecordSourceName = "velkora_test_recording";

uint32_t littleEndian(const std::string& bytes, std::size_t at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

std::filesystem::path makePrivateDir(const char* prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        return {};
    }
    return pattern;
}

struct TempDir {
    std::filesystem::path path = makePrivateDir("velkora-voice-test-");
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

// The private sound server, a child of this process: its folder holds the socket and its
// state, and it ends with the process (or, should the process die, by itself).
struct AudioServer {
    std::filesystem::path dir;
    pid_t pid = 0;
    int logPipe = -1;

    ~AudioServer() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        if (logPipe >= 0) {
            close(logPipe);
        }
        if (!dir.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        }
    }
};

AudioServer& audioServer() {
    static AudioServer server;
    return server;
}

bool startAudioServer() {
    const std::string program = QStandardPaths::findExecutable("pulseaudio").toStdString();
    if (program.empty()) {
        return false;
    }
    AudioServer& server = audioServer();
    server.dir = makePrivateDir("velkora-pulse-");
    if (server.dir.empty()) {
        return false;
    }
    const std::string dir = server.dir.string();
    std::vector<std::string> args{program};
    std::istringstream flags(
        "--daemonize=no --use-pid-file=no --system=no -n --realtime=no --high-priority=no "
        "--exit-idle-time=10 --log-target=stderr --log-level=info");
    for (std::string flag; flags >> flag;) {
        args.push_back(flag);
    }
    for (const std::string& module :
         {"module-native-protocol-unix auth-anonymous=1 socket=" + dir + "/native",
          std::string("module-null-sink sink_name=") + kSinkName,
          std::string("module-remap-source master=") + kSinkName +
              ".monitor source_name=" + kRecordSourceName}) {
        args.insert(args.end(), {"-L", module});
    }
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (!entry.starts_with("XDG_RUNTIME_DIR=") && !entry.starts_with("HOME=") &&
            !entry.starts_with("PULSE_SERVER=")) {
            environment.push_back(entry);
        }
    }
    environment.push_back("XDG_RUNTIME_DIR=" + dir);
    environment.push_back("HOME=" + dir);
    // Made before the fork: the child only calls what is safe between fork and exec.
    const auto pointers = [](std::vector<std::string>& strings) {
        std::vector<char*> out;
        for (std::string& each : strings) {
            out.push_back(each.data());
        }
        out.push_back(nullptr);
        return out;
    };
    std::vector<char*> argv = pointers(args);
    std::vector<char*> envp = pointers(environment);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    // The log is read only until the server is up; later lines may fill the pipe and are
    // then dropped instead of stopping the server.
    fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(fds[1], STDERR_FILENO);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return false;
    }
    server.pid = pid;
    server.logPipe = fds[0];
    // Sleeps in read until the server reports that it is up, or ends.
    std::string log;
    char buffer[4096];
    while (log.find("Daemon startup complete") == std::string::npos) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0) {
            waitpid(pid, nullptr, 0);
            server.pid = 0;
            return false;
        }
        log.append(buffer, static_cast<std::size_t>(n));
    }
    const std::string address = "unix:" + dir + "/native";
    setenv("PULSE_SERVER", address.c_str(), 1);
    return true;
}

}  // namespace

std::optional<WavInfo> readWav(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    // The plain 44-byte layout: "RIFF", "WAVE", a 16-byte PCM "fmt " chunk, then "data", with
    // both sizes matching the file.
    if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0 ||
        bytes.compare(8, 8, "WAVEfmt ") != 0 || bytes.compare(36, 4, "data") != 0 ||
        littleEndian(bytes, 4, 4) != bytes.size() - 8 || littleEndian(bytes, 16, 4) != 16 ||
        littleEndian(bytes, 20, 2) != 1 || littleEndian(bytes, 40, 4) != bytes.size() - 44) {
        return std::nullopt;
    }
    WavInfo info;
    info.channels = static_cast<int>(littleEndian(bytes, 22, 2));
    info.sampleRate = static_cast<int>(littleEndian(bytes, 24, 4));
    info.bitsPerSample = static_cast<int>(littleEndian(bytes, 34, 2));
    const auto blockAlign = static_cast<uint32_t>(info.channels * 2);
    if (info.channels < 1 || info.bitsPerSample != 16 || littleEndian(bytes, 32, 2) != blockAlign ||
        littleEndian(bytes, 28, 4) != static_cast<uint32_t>(info.sampleRate) * blockAlign) {
        return std::nullopt;
    }
    for (std::size_t at = 44; at + 1 < bytes.size(); at += 2) {
        info.samples.push_back(static_cast<int16_t>(littleEndian(bytes, at, 2)));
    }
    return info;
}

std::string tempPath(const std::string& name) {
    static TempDir dir;
    return (dir.path / name).string();
}

bool ensureAudioServer() {
    static const bool started = startAudioServer();
    return started;
}

struct OutputRecorder::Impl {
    std::unique_ptr<QAudioSource> source;
    QIODevice* io = nullptr;
    std::vector<int16_t> samples;
    QByteArray pending;
};

OutputRecorder::OutputRecorder() : impl_(new Impl) {}

OutputRecorder::~OutputRecorder() {
    if (impl_->source) {
        impl_->source->stop();
    }
    delete impl_;
}

bool OutputRecorder::start() {
    QAudioDevice monitor;
    for (const QAudioDevice& device : QMediaDevices::audioInputs()) {
        if (device.id() == kRecordSourceName) {
            monitor = device;
        }
    }
    if (monitor.isNull()) {
        return false;
    }
    QAudioFormat format;
    format.setSampleRate(22050);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    impl_->source = std::make_unique<QAudioSource>(monitor, format);
    // A short buffer, so that what is played shows up soon.
    impl_->source->setBufferSize(format.bytesForDuration(50000));
    impl_->io = impl_->source->start();
    if (impl_->io == nullptr) {
        return false;
    }
    Impl* impl = impl_;
    QObject::connect(impl_->io, &QIODevice::readyRead, impl_->io, [impl] {
        impl->pending += impl->io->readAll();
        const qsizetype whole = impl->pending.size() / 2;
        const auto* data = reinterpret_cast<const int16_t*>(impl->pending.constData());
        impl->samples.insert(impl->samples.end(), data, data + whole);
        impl->pending.remove(0, whole * 2);
    });
    // The recording stream takes a while to start; what plays before it would be missed.
    return runEventsUntil([impl] { return !impl->samples.empty(); }, 20000);
}

double OutputRecorder::energy() const {
    double sum = 0;
    for (int16_t s : impl_->samples) {
        sum += static_cast<double>(s) * s;
    }
    return sum;
}

double OutputRecorder::peak() const {
    int peak = 0;
    for (int16_t s : impl_->samples) {
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    }
    return peak;
}

bool runEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    bool timedOut = false;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&timedOut] { timedOut = true; });
    timer.start(timeoutMs);
    while (!done() && !timedOut) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return done();
}

void runEventsFor(int ms) {
    runEventsUntil([] { return false; }, ms);
}

QAudioDevice testOutputDevice() {
    for (const QAudioDevice& device : QMediaDevices::audioOutputs()) {
        if (device.id() == kSinkName) {
            return device;
        }
    }
    return {};
}

}  // namespace velkora::test
