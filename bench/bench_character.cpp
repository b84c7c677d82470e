// The character's costs, on a character of about 4 MB made with our own writer:
//  - load time of the file (read and checked; images are not decoded yet),
//  - decode time of a frame (its image decompressed and the frame composed),
//  - memory of the loaded character, before and after every image has been decoded,
//  - CPU time of an idle character on the desktop over a minute (goal: below 1 % of a core).
// Usage: bench_character [IDLE_SECONDS]   (default 60; runs on QT_QPA_PLATFORM, default
// offscreen, so that it measures the character and not an X server)
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "character/AcsFile.h"
#include "character/AcsWriter.h"
#include "character/FrameComposer.h"
#include "character/SpeechOutput.h"
#include "character/TimedSpeech.h"
#include "character/gui/DesktopCharacter.h"
#include "common/MemorySettingsStore.h"
#include "common/qt/QtEventLoop.h"

using namespace velkora;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Bytes allocated on the heap now.
double heapMb() {
    return static_cast<double>(mallinfo2().uordblks) / 1048576.0;
}

// A picture like a character's: flat regions in a few colours, with some texture.
AcsImage picture(std::mt19937& random) {
    AcsImage image{128, 160, std::vector<uint8_t>(128 * 160, 0)};
    for (int blob = 0; blob < 14; ++blob) {
        const int cx = static_cast<int>(random() % 128);
        const int cy = static_cast<int>(random() % 160);
        const int r = 8 + static_cast<int>(random() % 30);
        const auto colour = static_cast<uint8_t>(1 + random() % 60);
        for (int y = std::max(0, cy - r); y < std::min(160, cy + r); ++y) {
            for (int x = std::max(0, cx - r); x < std::min(128, cx + r); ++x) {
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r) {
                    image.pixels[static_cast<std::size_t>(y) * 128 + x] =
                        random() % 3 == 0 ? static_cast<uint8_t>(colour + 1 + random() % 3)
                                          : colour;
                }
            }
        }
    }
    return image;
}

AcsCharacterData bigCharacter(std::size_t images) {
    std::mt19937 random(2024);
    AcsCharacterData c;
    c.info.width = 128;
    c.info.height = 160;
    c.info.localized = {{kLangJapanese, "ベンチ", "", ""}};
    for (int i = 0; i < 256; ++i) {
        c.info.palette.push_back(AcsColor{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                          static_cast<uint8_t>(i * 7)});
    }
    for (std::size_t i = 0; i < images; ++i) {
        c.images.push_back(picture(random));
    }
    // Animations of 10 frames over all the images; the first ones serve the states.
    for (std::size_t a = 0; a * 10 < images; ++a) {
        AcsAnimation animation;
        animation.name = a == 0 ? "Show" : a == 1 ? "RestPose" : "Anim" + std::to_string(a);
        for (std::size_t f = 0; f < 10 && a * 10 + f < images; ++f) {
            AcsFrame frame;
            frame.images = {AcsFrameImage{static_cast<uint32_t>(a * 10 + f), 0, 0}};
            frame.duration = 10;
            animation.frames.push_back(frame);
        }
        c.animations.push_back(animation);
    }
    c.info.states = {{"Showing", {"Show"}},
                     {"Speaking", {"RestPose"}},
                     {"IdlingLevel1", {"Anim2", "Anim3", "Anim4"}},
                     {"IdlingLevel2", {"Anim5"}},
                     {"IdlingLevel3", {"Anim6"}}};
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    const int idleSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    const std::string path = "/tmp/velkora-bench-" + std::to_string(getpid()) + ".acs";
    {
        const std::vector<uint8_t> bytes = writeAcs(bigCharacter(640));
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        std::printf("character file: %.2f MB, 640 images of 128 x 160\n",
                    static_cast<double>(bytes.size()) / 1048576.0);
    }

    // Memory: one load, then every image decoded.
    const double heapBefore = heapMb();
    std::shared_ptr<const AcsFile> file = loadAcsFile(path).file;
    if (!file) {
        std::fprintf(stderr, "load failed\n");
        return 1;
    }
    const double heapLoaded = heapMb() - heapBefore;
    for (std::size_t i = 0; i < file->imageCount(); ++i) {
        file->image(i);
    }
    std::printf(
        "memory of the loaded character: %.2f MB on the heap (the file's %.2f MB and "
        "its tables); %.2f MB with all %zu images decoded\n",
        heapLoaded, static_cast<double>(file->fileSize()) / 1048576.0, heapMb() - heapBefore,
        file->imageCount());

    // Load time: median of several loads from the disk (the page cache is warm).
    std::vector<double> loads;
    for (int i = 0; i < 15; ++i) {
        const Clock::time_point start = Clock::now();
        AcsParseResult result = loadAcsFile(path);
        loads.push_back(msSince(start));
        file = result.file;
    }
    std::sort(loads.begin(), loads.end());
    std::printf("load time (median of 15): %.2f ms\n", loads[loads.size() / 2]);

    // Decode time of a frame: each frame's image decompressed for the first time, composed.
    std::vector<double> decodes;
    for (const AcsAnimation& animation : file->animations()) {
        for (const AcsFrame& frame : animation.frames) {
            const Clock::time_point start = Clock::now();
            const ComposedFrame composed = composeFrame(*file, frame);
            decodes.push_back(msSince(start) * 1000);
            if (!composed.errors.empty()) {
                std::fprintf(stderr, "decode failed: %s\n", composed.errors.front().c_str());
                return 1;
            }
        }
    }
    std::sort(decodes.begin(), decodes.end());
    std::printf("frame decode and compose, first time: median %.0f us, slowest %.0f us\n",
                decodes[decodes.size() / 2], decodes.back());
    std::remove(path.c_str());

    // The idle character on the desktop.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The offscreen platform has no window shapes and says so at every frame.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QApplication app(argc, argv);
    QtEventLoop loop;
    TimedSpeech speech(loop);
    MemorySettingsStore store;
    DesktopCharacter character(loop, speech, store);
    const std::string angel = VELKORA_STAGED_DATA_DIR "/Msagent/chars/AngelMicha.acs";
    const char* chosen = std::getenv("VELKORA_BENCH_CHARACTER");
    if (!character.load(chosen != nullptr ? chosen : angel)) {
        std::fprintf(stderr, "cannot load the character: %s\n", character.loadError().c_str());
        return 1;
    }
    character.setPosition({100, 100});
    character.show();
    QEventLoop settle;
    QTimer::singleShot(3000, &settle, &QEventLoop::quit);
    settle.exec();
    const double cpuStart = cpuSeconds();
    const Clock::time_point wallStart = Clock::now();
    QEventLoop idle;
    QTimer::singleShot(idleSeconds * 1000, &idle, &QEventLoop::quit);
    idle.exec();
    const double cpu = cpuSeconds() - cpuStart;
    const double wall = msSince(wallStart) / 1000;
    std::printf("idle character over %.0f s: %.3f s of CPU, %.2f %% of a core (goal < 1 %%)\n",
                wall, cpu, 100 * cpu / wall);
    return 0;
}
