// The tileindex tool, run as a program: its exact stdout bytes, stderr and exit status.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

struct ToolRun {
  std::string out;
  std::string err;
  int status = -1;  // exit code, or -1 when the program did not exit normally
};

// Runs the built tool with the given arguments (argv[1...]), without a shell.
ToolRun RunTool(const std::vector<std::string>& args) {
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    close(outPipe[0]);
    close(errPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    std::vector<char*> argv{const_cast<char*>(QL_TILEINDEX)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(QL_TILEINDEX, argv.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  ToolRun run;
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  int openPipes = 2;
  while (openPipes > 0 && poll(fds, 2, 10000) > 0) {
    for (pollfd& fd : fds) {
      if (fd.fd < 0 || !(fd.revents & (POLLIN | POLLHUP))) continue;
      char buf[256];
      const ssize_t n = read(fd.fd, buf, sizeof buf);
      if (n <= 0) {
        close(fd.fd);
        fd.fd = -1;
        --openPipes;
        continue;
      }
      (fd.fd == fds[0].fd ? run.out : run.err).append(buf, static_cast<size_t>(n));
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

struct PrintCase {
  const char* name;
  std::vector<std::string> args;
  const char* printed;
};

class TileIndexPrints : public ::testing::TestWithParam<PrintCase> {};

TEST_P(TileIndexPrints, ColumnCommaBlankRowWithoutNewline) {
  const ToolRun run = RunTool(GetParam().args);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, GetParam().printed);
  EXPECT_EQ(run.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Tool, TileIndexPrints,
    ::testing::Values(PrintCase{"Typical", {"116.3", "39.9"}, "5815, 1995"},
                      PrintCase{"NegativeTruncatesTowardZero", {"-116.3", "-39.9"}, "-5815, -1995"},
                      // The float divisor keeps 0.01999999 in column 0 (the library says 1).
                      PrintCase{"FloatDivisorNoCorrection", {"0.01999999", "0.04"}, "0, 2"},
                      PrintCase{"ExactCornerIsAboveOne", {"0.02", "0.04"}, "1, 2"},
                      PrintCase{"NotANumberIsZero", {"abc", "39.9"}, "0, 1995"},
                      PrintCase{"LeadingNumberCounts", {"12abc", "39.9"}, "600, 1995"},
                      PrintCase{"ExtraArgumentsIgnored", {"116.3", "39.9", "x", "y"}, "5815, 1995"},
                      PrintCase{"Zero", {"0", "-0"}, "0, 0"}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefuseCase {
  const char* name;
  std::vector<std::string> args;
  const char* errContains;
};

class TileIndexRefuses : public ::testing::TestWithParam<RefuseCase> {};

TEST_P(TileIndexRefuses, MessageOnStderrAndExitTwo) {
  const ToolRun run = RunTool(GetParam().args);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find(GetParam().errContains), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Tool, TileIndexRefuses,
                         ::testing::Values(RefuseCase{"NoArguments", {}, "usage"},
                                           RefuseCase{"OneArgument", {"116.3"}, "usage"},
                                           RefuseCase{"HugeLongitude", {"1e300", "39.9"}, "longitude"},
                                           RefuseCase{"JustBeyondInt", {"42949673", "0"}, "longitude"},
                                           RefuseCase{"InfiniteLatitude", {"116.3", "inf"}, "latitude"},
                                           RefuseCase{"NaNLatitude", {"116.3", "nan"}, "latitude"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
