// The editor following a running board, as a whole program: the real main
// window on a user file while a board thread writes 400 users a second (a
// caller's counters) and appends a user every 2 s, then an idle board. Prints
// what a compare takes, the editor's share of one core (the board's own CPU
// left out), the longest stall of the event loop and the idle cost.
//
//   zorvlivebench USERFILE [BUSY_SECONDS=20] [IDLE_SECONDS=35]
//   (QT_QPA_PLATFORM=offscreen; USERFILE is written to)

#include "editor/ui/livewatch.h"
#include "editor/ui/tqedit.h"
#include "platform/guard.h"
#include "platform/qtplatform.h"
#include "settings/memorykey.h"
#include "userfile/record.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

double processCpu() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double threadCpu() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void runFor(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

// The longest gap between the ticks of a 5 ms timer: how long the event loop
// was kept from running.
class StallMeter {
  public:
    StallMeter() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 gap = clock_.restart();
            const double cpu = threadCpu();
            if (gap > longest_) {
                longest_ = gap;
                longestCpuMs_ = (cpu - lastCpu_) * 1000;
            }
            lastCpu_ = cpu;
        });
    }
    void start() {
        longest_ = 0;
        longestCpuMs_ = 0;
        lastCpu_ = threadCpu();
        clock_.start();
        timer_.start(5);
    }
    qint64 stop() {
        timer_.stop();
        return longest_ > 5 ? longest_ - 5 : 0;
    }

    // What the GUI thread itself ran during the longest gap: the rest of it
    // the thread waited (for a core on a busy machine, or for the disk).
    double longestCpuMs() const { return longestCpuMs_; }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
    double longestCpuMs_ = 0;
    double lastCpu_ = 0;
};

// Seconds until `field` shows `text` (events running), at most `limitMs`.
double secondsUntil(const QLineEdit* field, const QString& text, qint64 limitMs) {
    QElapsedTimer wall;
    wall.start();
    while (field->text() != text && wall.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return static_cast<double>(wall.elapsed()) / 1000;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: zorvlivebench USERFILE [BUSY_SECONDS] [IDLE_SECONDS]\n");
        return 2;
    }
    const std::string userFile = argv[1];
    const double busy = argc > 2 ? std::atof(argv[2]) : 20;
    const double idle = argc > 3 ? std::atof(argv[3]) : 35;
    zorv::GuardedApplication app(argc, argv);
    namespace fs = std::filesystem;
    const fs::path work =
        fs::temp_directory_path() / ("zorvlivebench-" + std::to_string(::getpid()));
    fs::create_directories(work);

    zorv::QtPlatform platform;
    platform.setProgramPath(QString::fromStdString((work / "zorvedit").string()));
    zorv::MemoryRegistryKey settings;
    settings.open(true);
    settings.writeText("Filename", userFile);
    settings.close();
    zorv::EditSession edit;
    zorv::UserFileSession& session = edit.state();
    zorv::Tqedit main(edit, platform, settings);
    main.show();
    while (!main.activationDone())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!main.started() || !main.liveWatch()) {
        std::fprintf(stderr, "cannot load or follow %s\n", userFile.c_str());
        return 1;
    }
    const int users = session.workingCopy.recordCount();
    runFor(2); // the first compare after the load

    // The board: 400 writes a second through its own descriptor.
    std::atomic<bool> stop{false};
    std::atomic<long long> boardCpuUs{0};
    std::atomic<int> written{0};
    std::thread board([&] {
        const int fd = ::open(userFile.c_str(), O_RDWR);
        std::mt19937 rng(42);
        zorv::Record r{};
        auto next = std::chrono::steady_clock::now();
        for (int n = 0; !stop; ++n) {
            const int i = static_cast<int>(rng() % static_cast<unsigned>(users));
            (void)!::pread(fd, r.data(), zorv::kRecordSize, static_cast<off_t>(i) * 273);
            r[161] = static_cast<std::uint8_t>(r[161] + 1); // logins
            (void)!::pwrite(fd, r.data(), zorv::kRecordSize, static_cast<off_t>(i) * 273);
            if (n % 800 == 799)
                (void)!::pwrite(fd, r.data(), zorv::kRecordSize, ::lseek(fd, 0, SEEK_END));
            ++written;
            next += std::chrono::microseconds(2500);
            std::this_thread::sleep_until(next);
        }
        boardCpuUs = static_cast<long long>(threadCpu() * 1e6);
        ::close(fd);
    });

    StallMeter meter;
    const int comparesBefore = main.liveWatch()->comparesRun();
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = processCpu();
    meter.start();
    runFor(busy);
    stop = true;
    board.join();
    const double busyWall = static_cast<double>(wall.elapsed()) / 1000;
    const qint64 busyStall = meter.stop();
    const double busyStallCpu = meter.longestCpuMs();
    const double busyCpu = processCpu() - cpu0 - static_cast<double>(boardCpuUs) / 1e6;
    const int compares = main.liveWatch()->comparesRun() - comparesBefore;

    // Caught up: the count on the tab is the file's.
    const int fileUsers = static_cast<int>(fs::file_size(userFile) / zorv::kRecordSize);
    meter.start();
    const double caughtUp = secondsUntil(main.tuser, QString::number(fileUsers), 20000);
    const qint64 catchStall = meter.stop();

    runFor(2); // the last compare settles
    const double idleCpu0 = processCpu();
    const int idleCompares0 = main.liveWatch()->comparesRun();
    runFor(idle);
    const double idleCpu = processCpu() - idleCpu0;
    const int idleCompares = main.liveWatch()->comparesRun() - idleCompares0;

    // The nightly run: the board rewrites every user at once (a login counted
    // for each); the editor follows in compares of at most kMaxLiveRecords.
    const auto expected =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(main.tlogins->text().toLongLong()) +
                                  static_cast<std::uint32_t>(fileUsers));
    {
        const int fd = ::open(userFile.c_str(), O_RDWR);
        std::vector<zorv::Record> block(4096);
        for (off_t at = 0; at < static_cast<off_t>(fileUsers) * 273; at += 4096 * 273) {
            const ssize_t got = ::pread(fd, block.data(), block.size() * 273, at);
            for (ssize_t k = 0; k + 273 <= got; k += 273) {
                zorv::Record& r = block[static_cast<std::size_t>(k / 273)];
                zorv::putU32(r, 161, zorv::getU32(r, 161) + 1);
            }
            (void)!::pwrite(fd, block.data(), static_cast<std::size_t>(got), at);
        }
        ::close(fd);
    }
    meter.start();
    const double nightly = secondsUntil(main.tlogins, QString::number(expected), 120000);
    const qint64 nightlyStall = meter.stop();
    const double nightlyStallCpu = meter.longestCpuMs();

    std::printf("%d users (then %d), board %d writes in %.1f s, load %.2f\n", users, fileUsers,
                written.load(), busyWall, [] {
                    double l[1] = {0};
                    return ::getloadavg(l, 1) == 1 ? l[0] : -1.0;
                }());
    std::printf("  compares while busy            %6d   (last took %lld ms)\n", compares,
                static_cast<long long>(main.liveWatch()->lastCompareMs()));
    std::printf("  editor CPU while busy          %6.1f %% of one core   (goal < 25 %%)\n",
                100 * busyCpu / busyWall);
    std::printf("  longest event-loop stall       %6lld ms   (goal < 50 ms; the GUI thread ran "
                "%.0f ms of it; %lld ms catching up)\n",
                static_cast<long long>(busyStall), busyStallCpu,
                static_cast<long long>(catchStall));
    std::printf("  caught up after the board stopped %.2f s\n", caughtUp);
    std::printf("  idle board: CPU                %6.2f %% of one core over %.0f s, %d compares\n",
                100 * idleCpu / idle, idle, idleCompares);

    std::printf("  every user rewritten at once: followed in %.1f s, longest stall %lld ms "
                "(the GUI thread ran %.0f ms of it)\n",
                nightly, static_cast<long long>(nightlyStall), nightlyStallCpu);

    main.liveWatch()->stop();
    session.workingCopy.close();
    fs::remove_all(work);
    return 0;
}
