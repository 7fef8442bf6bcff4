// Whole runs of the application, each in a process of its own (the headless runner): every
// failure site of the site table made to fail, a sweep that fails each call of the start-up
// in turn, runs killed at a random moment, and runs whose files cannot be written.
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "directx/failure_sites.h"
#include "support/test_support.h"

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::WriteFile;

// Test names and failure messages show a site by its operation, call and line.
void PrintTo(const FailureSite& site, std::ostream* os) {
    *os << (site.op ? site.op : "mesh file missing") << " #" << site.nth
        << (site.repeat ? " and on" : "") << " -> " << (site.file ? site.file : "-") << ":"
        << site.line;
}

namespace {

// The run log of a complete run on the standard machine.
const char* const kCompleteLog[kCompleteRunLogLines] = {
    "Free video memory = 0\n",
    "Not certified driver!\n",
    "Capable of blit operations. \n",
    "Capable of blitting to or from system memory. \n",
    "Capable of clipping with blitting. \n",
    "Shared with GDI. \n",
    "Not capable of generating a vertical blank interrupt. \n",
    "Device supports color fill\n",
    "Can do Src colorkey in hardware\n",
    "Can do Dest colorkey in hardware\n",
    "No 3D hardware present!\n",
    "D3D device using RGB\n",
};

std::string CompleteLog(int lines) {
    std::string log;
    for (int i = 0; i < lines; ++i)
        log += kCompleteLog[i];
    return log;
}

const char* const kStartupBox =
    "Korvel Initialization Error\tUnable to initialize DirectDraw.  Please make sure you are "
    "running version 6 or greater.";

struct RunResult {
    bool exited = false;  // ended by itself (not by a signal)
    int exitCode = -1;
    int signal = 0;  // the signal that ended it
    bool timedOut = false;
    std::string out;
    std::string err;
};

std::string TempFile() {
    char name[] = "/tmp/gamelib-run-XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0)
        close(fd);
    return name;
}

// Starts the runner in `dir` with `args`. With `killAfterUs` >= 0 the process is killed
// with SIGKILL after that many microseconds; otherwise it is killed (and reported as timed
// out) after `timeoutMs`. With `asNobody` a run as root drops to the unprivileged user, so a
// read-only folder is really read-only for it.
RunResult RunGame(const std::vector<std::string>& args, const std::string& dir,
                  int timeoutMs = 30000, long killAfterUs = -1, bool asNobody = false,
                  std::vector<std::string> env = {}) {
    const std::string outPath = TempFile();
    const std::string errPath = TempFile();
    std::vector<std::string> all = {HEADLESS_GAME};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int out = open(outPath.c_str(), O_WRONLY | O_TRUNC);
        int err = open(errPath.c_str(), O_WRONLY | O_TRUNC);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
            _exit(126);
        if (asNobody && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(126);
        if (chdir(dir.c_str()) != 0)
            _exit(126);
        for (std::string& variable : env)
            putenv(variable.data());
        execv(argv[0], argv.data());
        _exit(127);
    }
    RunResult result;
    int status = 0;
    if (killAfterUs >= 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(killAfterUs));
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    } else {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                result.timedOut = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    result.exited = WIFEXITED(status);
    result.exitCode = result.exited ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    unlink(outPath.c_str());
    unlink(errPath.c_str());
    return result;
}

// The pinned clocks every run uses, so runs are alike.
std::vector<std::string> Pinned(std::vector<std::string> args) {
    args.insert(args.end(), {"--clock", "2000", "--time", "500", "--boxes", "-"});
    return args;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string ExpectedReport(const FailureSite& site) {
    const char* kind = site.reporter == FailureReporter::DirectDraw ? "DirectDraw"
                       : site.reporter == FailureReporter::Direct3D ? "Direct3D"
                                                                    : "File";
    return std::string(kind) + " Error " + site.name + "\nin file " + site.file + " at line " +
           std::to_string(site.line) + "\r\n";
}

// The boxes a run shows, as the runner writes them: the "Error" box with the report, then
// the sprite error box, then the start-up failure box.
std::string ExpectedBoxes(const FailureSite& site) {
    std::string boxes;
    if (site.reporter != FailureReporter::None)
        boxes += "Error\t" + Escaped(ExpectedReport(site)) + "\n";
    if (site.spriteBoxText != nullptr)
        boxes += std::string(site.spriteBoxCaption) + "\t" + site.spriteBoxText + "\n";
    if (site.startupFails)
        boxes += std::string(kStartupBox) + "\n";
    return boxes;
}

std::string SiteName(const ::testing::TestParamInfo<FailureSite>& info) {
    const FailureSite& site = info.param;
    std::string name;
    if (site.op == nullptr)
        name = "MeshFileMissing";
    else
        for (const char* c = site.op; *c; ++c)
            if (isalnum(static_cast<unsigned char>(*c)))
                name += *c;
    name += "_" + std::to_string(site.nth);
    if (site.repeat)
        name += "_AndOn";
    if (site.line != 0)
        name += "_Line" + std::to_string(site.line);
    if (site.machine != nullptr)
        name += "_SecondDriver";
    return name;
}

class FailureSiteRun : public testing_support::TempDirTest,
                       public ::testing::WithParamInterface<FailureSite> {};

TEST_P(FailureSiteRun, ReportsAndEndsCleanly) {
    const FailureSite& site = GetParam();
    std::vector<std::string> args = {"--frames", "3"};
    if (site.op != nullptr) {
        char code[16];
        snprintf(code, sizeof code, "0x%08x", static_cast<unsigned>(site.code));
        args.push_back(site.repeat ? "--fail-from" : "--fail");
        args.push_back(std::string(site.op) + ":" + std::to_string(site.nth) + ":" + code);
    }
    if (site.machine != nullptr)
        args.insert(args.end(), {"--machine", site.machine});
    if (site.op != nullptr)
        WriteFile("ship.xxx", ReadFile(std::string(GAME_SOURCE_DIR) + "/assets/ship.xxx"));

    const RunResult run = RunGame(Pinned(args), dir_);
    ASSERT_FALSE(run.timedOut);
    ASSERT_TRUE(run.exited) << "signal " << run.signal << "\n" << run.err;
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, ExpectedBoxes(site));

    if (site.noWindow) {
        EXPECT_FALSE(FileExists("info.txt"));
        EXPECT_FALSE(FileExists("caps.txt"));
        EXPECT_FALSE(FileExists("out.err"));
        return;
    }
    if (site.reporter != FailureReporter::None) {
        EXPECT_EQ(ReadFile("out.err"), ExpectedReport(site));
    } else {
        EXPECT_FALSE(FileExists("out.err"));
    }
    // Every line written before the failure is in the log, and nothing after it.
    std::string log = CompleteLog(site.logLines);
    if (site.logLineAfter != nullptr)
        log += site.logLineAfter;
    EXPECT_EQ(ReadFile("info.txt"), log);
}

INSTANTIATE_TEST_SUITE_P(Sites, FailureSiteRun, ::testing::ValuesIn(kFailureSites), SiteName);

class WholeRun : public testing_support::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        WriteFile("ship.xxx", ReadFile(std::string(GAME_SOURCE_DIR) + "/assets/ship.xxx"));
    }
    // Hooked calls before the message loop's first turn, and in the whole run.
    void Counts(const std::string& countFile, int* startup, int* total) {
        *startup = *total = -1;
        if (FILE* f = fopen(countFile.c_str(), "r")) {
            if (fscanf(f, "%d %d", startup, total) != 2)
                *startup = *total = -1;
            fclose(f);
        }
    }
};

// Also where reads give at most 512 bytes: the ship is still read whole.
TEST_F(WholeRun, CompleteRunWritesTheWholeLogAndNoReport) {
    for (const char* env : {"SHORT_READS=0", "SHORT_READS=512"}) {
        const RunResult run = RunGame(Pinned({"--frames", "3"}), dir_, 30000, -1, false,
                                      {"LD_PRELOAD=" SHORT_READS, env});
        ASSERT_TRUE(run.exited);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(ReadFile("info.txt"), CompleteLog(kCompleteRunLogLines)) << env;
        EXPECT_EQ(ReadFile("caps.txt"), "");
        EXPECT_FALSE(FileExists("out.err"));
    }
}

// Fails the Nth hooked call of the start-up for N = chunk + 1, chunk + 1 + chunks, ...
// until the start-up gets through; every run must end by itself with exit code 0.
class StartupSweep : public WholeRun, public ::testing::WithParamInterface<int> {};
constexpr int kSweepChunks = 4;

TEST_P(StartupSweep, EveryFailedCallEndsTheRunCleanly) {
    const std::string countFile = dir_ + "/count";
    RunResult clean = RunGame(Pinned({"--frames", "1", "--count", countFile}), dir_);
    ASSERT_TRUE(clean.exited);
    int startupCalls = 0, totalCalls = 0;
    Counts(countFile, &startupCalls, &totalCalls);
    ASSERT_GT(startupCalls, 50);
    if (GetParam() == 0)
        printf("The start-up makes %d hooked platform calls.\n", startupCalls);
    RecordProperty("startup_calls", startupCalls);

    for (int n = GetParam() + 1; n <= startupCalls + 1; n += kSweepChunks) {
        SCOPED_TRACE("failing hooked call " + std::to_string(n));
        for (const char* name : {"info.txt", "caps.txt", "out.err"})
            unlink(name);
        const RunResult run = RunGame(
            Pinned({"--frames", "1", "--count", countFile, "--fail-any", std::to_string(n)}), dir_,
            20000);
        ASSERT_FALSE(run.timedOut);
        ASSERT_TRUE(run.exited) << "signal " << run.signal << "\n" << run.err;
        EXPECT_EQ(run.exitCode, 0) << run.err;
        int startup = 0, total = 0;
        Counts(countFile, &startup, &total);
        if (n == startupCalls + 1) {
            // Past the start-up: it got through unharmed, with the same number of calls.
            EXPECT_EQ(startup, startupCalls);
            EXPECT_EQ(ReadFile("info.txt"), CompleteLog(kCompleteRunLogLines));
        } else {
            EXPECT_GE(startup, n - 1);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Chunks, StartupSweep, ::testing::Range(0, kSweepChunks));

// A run killed at any moment leaves a run log of whole lines that begins a complete log.
TEST_F(WholeRun, KilledRunLeavesWholeLinesOfTheLog) {
    RunResult clean = RunGame(Pinned({"--frames", "1"}), dir_);
    ASSERT_EQ(clean.exitCode, 0);
    const std::string complete = CompleteLog(kCompleteRunLogLines);
    ASSERT_EQ(ReadFile("info.txt"), complete);

    // Many frames, so a late kill still finds the process running. Returns the log left.
    auto killedAfter = [](const std::string& dir, long us) {
        unlink((dir + "/info.txt").c_str());
        RunGame(Pinned({"--frames", "100000"}), dir, 0, us);
        return ReadFile(dir + "/info.txt");
    };
    // Four runs at a time, each in a folder of its own, to keep the total time small.
    constexpr int kWorkers = 4, kTrials = 100;
    std::vector<std::string> dirs;
    for (int w = 0; w < kWorkers; ++w) {
        dirs.push_back(dir_ + "/kill" + std::to_string(w));
        ASSERT_EQ(mkdir(dirs.back().c_str(), 0755), 0);
        WriteFile(dirs.back() + "/ship.xxx", ReadFile("ship.xxx"));
    }
    std::vector<std::string> logs(kTrials);
    std::vector<long> delays(kTrials);
    auto killAll = [&](int trials) {
        std::vector<std::thread> workers;
        for (int w = 0; w < kWorkers; ++w)
            workers.emplace_back([&, w] {
                for (int trial = w; trial < trials; trial += kWorkers)
                    logs[trial] = killedAfter(dirs[w], delays[trial]);
            });
        for (std::thread& worker : workers)
            worker.join();
    };

    // The log is written early in the start-up: find the first delay that leaves it whole in
    // all of four runs started together, and aim the kills at the time up to there.
    long wholeAfterUs = 500;
    for (;; wholeAfterUs *= 2) {
        std::fill(delays.begin(), delays.begin() + kWorkers, wholeAfterUs);
        killAll(kWorkers);
        if (wholeAfterUs >= 4000000 ||
            std::all_of(logs.begin(), logs.begin() + kWorkers,
                        [&](const std::string& log) { return log == complete; }))
            break;
    }
    std::mt19937 random(12345);
    std::uniform_int_distribution<long> when(0, wholeAfterUs);
    for (long& delay : delays)
        delay = when(random);
    killAll(kTrials);

    int none = 0, partial = 0, whole = 0;
    for (int trial = 0; trial < kTrials; ++trial) {
        const std::string& log = logs[trial];
        ASSERT_EQ(complete.compare(0, log.size(), log), 0) << "trial " << trial << ":\n" << log;
        ASSERT_TRUE(log.empty() || log.back() == '\n') << "trial " << trial << ":\n" << log;
        (log.empty() ? none : log == complete ? whole : partial)++;
    }
    printf("100 kills within %ld us: %d left no log lines, %d some, %d the whole log.\n",
           wholeAfterUs, none, partial, whole);
}

// A mesh file that is no regular file (a folder, a FIFO without a writer, a device, a
// socket) is refused at once as a file that may not be read; the run never waits on it.
TEST_F(WholeRun, MeshThatIsNoRegularFileIsRefusedWithoutWaiting) {
    const FailureSite refused{nullptr,
                              0,
                              false,
                              0,
                              FailureReporter::File,
                              "object3d",
                              182,
                              " Tried to open read-only file for writing, or file's sharing mode "
                              "does not allow specified operations, or given path is directory",
                              nullptr,
                              nullptr,
                              false,
                              kCompleteRunLogLines,
                              nullptr,
                              false,
                              nullptr};
    const char* const kinds[] = {"folder", "fifo", "device", "socket"};
    for (const char* kind : kinds) {
        SCOPED_TRACE(kind);
        const std::string run_dir = dir_ + "/" + kind;
        const std::string mesh = run_dir + "/ship.xxx";
        ASSERT_EQ(mkdir(run_dir.c_str(), 0755), 0);
        int socketFd = -1;
        if (strcmp(kind, "folder") == 0) {
            ASSERT_EQ(mkdir(mesh.c_str(), 0755), 0);
        } else if (strcmp(kind, "fifo") == 0) {
            ASSERT_EQ(mkfifo(mesh.c_str(), 0644), 0);
        } else if (strcmp(kind, "device") == 0) {
            ASSERT_EQ(symlink("/dev/zero", mesh.c_str()), 0);
        } else {
            socketFd = socket(AF_UNIX, SOCK_STREAM, 0);
            ASSERT_GE(socketFd, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            ASSERT_LT(mesh.size(), sizeof address.sun_path);
            strcpy(address.sun_path, mesh.c_str());
            ASSERT_EQ(bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
            ASSERT_EQ(listen(socketFd, 1), 0);
        }
        const RunResult run = RunGame(Pinned({"--frames", "2"}), run_dir, 20000);
        if (socketFd >= 0)
            close(socketFd);
        ASSERT_FALSE(run.timedOut);
        ASSERT_TRUE(run.exited) << "signal " << run.signal << "\n" << run.err;
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, "Error\t" + Escaped(ExpectedReport(refused)) + "\n");
        EXPECT_EQ(ReadFile(run_dir + "/out.err"), ExpectedReport(refused));
        EXPECT_EQ(ReadFile(run_dir + "/info.txt"), CompleteLog(kCompleteRunLogLines));
    }
}

// Each of the three files blocked by a folder of its name, in every combination, a
// read-only working folder, and a full disk (info.txt and out.err lead to /dev/full, the
// close of caps.txt fails): the run goes on, reports as usual, and standard error says once
// for each file that it could not be written.
TEST_F(WholeRun, UnwritableFilesAreSaidOnceEach) {
    const char* const files[3] = {"info.txt", "caps.txt", "out.err"};
    const FailureSite* clearSite = nullptr;
    for (const FailureSite& site : kFailureSites)
        if (site.line == 601)
            clearSite = &site;
    ASSERT_NE(clearSite, nullptr);
    const std::string fail = "IDirect3DViewport3::Clear2:1:0x887602c2";

    for (int mask = 0; mask < 11; ++mask) {
        const bool readOnly = mask == 8;
        const bool fullDisk = mask == 9;
        const bool fifos = mask == 10;  // FIFOs without a reader: never waited on
        SCOPED_TRACE(readOnly   ? std::string("read-only folder")
                     : fullDisk ? std::string("full disk")
                     : fifos    ? std::string("FIFOs")
                                : "mask " + std::to_string(mask));
        const std::string run_dir = dir_ + "/run" + std::to_string(mask);
        ASSERT_EQ(mkdir(run_dir.c_str(), 0755), 0);
        WriteFile(run_dir + "/ship.xxx",
                  ReadFile(std::string(GAME_SOURCE_DIR) + "/assets/ship.xxx"));
        chmod((run_dir + "/ship.xxx").c_str(), 0644);
        for (int i = 0; i < 3; ++i) {
            if (mask < 8 && (mask & (1 << i))) {
                ASSERT_EQ(mkdir((run_dir + "/" + files[i]).c_str(), 0755), 0);
            }
            if (fifos) {
                ASSERT_EQ(mkfifo((run_dir + "/" + files[i]).c_str(), 0644), 0);
            }
        }
        std::vector<std::string> args = {"--frames", "2", "--fail", fail};
        if (fullDisk) {
            ASSERT_EQ(symlink("/dev/full", (run_dir + "/info.txt").c_str()), 0);
            ASSERT_EQ(symlink("/dev/full", (run_dir + "/out.err").c_str()), 0);
            args.insert(args.end(), {"--fail", "fclose:1:0x80004005"});  // caps.txt's close
        }
        if (readOnly) {
            ASSERT_EQ(chmod(run_dir.c_str(), 0555), 0);
            chmod(dir_.c_str(), 0755);
        }

        const RunResult run = RunGame(Pinned(args), run_dir, fifos ? 5000 : 30000, -1, readOnly);
        ASSERT_FALSE(run.timedOut);
        ASSERT_TRUE(run.exited) << "signal " << run.signal << "\n" << run.err;
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, "Error\t" + Escaped(ExpectedReport(*clearSite)) + "\n");
        for (int i = 0; i < 3; ++i) {
            const bool blocked = readOnly || fullDisk || fifos || (mask & (1 << i));
            size_t count = 0;
            for (size_t at = run.err.find(files[i]); at != std::string::npos;
                 at = run.err.find(files[i], at + 1))
                ++count;
            EXPECT_EQ(count, blocked ? 1u : 0u) << files[i] << " in:\n" << run.err;
        }
        if (mask < 8 && !(mask & 4)) {
            EXPECT_EQ(ReadFile(run_dir + "/out.err"), ExpectedReport(*clearSite));
        }
        chmod(run_dir.c_str(), 0755);
    }
}

}  // namespace
