#include "platform/Process.h"

#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// In a child, so that the test program itself keeps its settings.
TEST(Process, DisableCoreDumpsLeavesNoCoreAndNoDumpableProcess) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        DisableCoreDumps();
        rlimit core{};
        const bool noCore = getrlimit(RLIMIT_CORE, &core) == 0 && core.rlim_cur == 0 && core.rlim_max == 0;
        _exit(prctl(PR_GET_DUMPABLE) == 0 && noCore ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
