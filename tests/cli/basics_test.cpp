#include <gtest/gtest.h>

#include "clirunner.h"

using kalvora::test::runCli;

TEST(CliBasics, VersionAndHelpSucceed)
{
    const auto version = runCli({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith("kalvora-cli "));

    const auto help = runCli({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("Usage: kalvora-cli"));
}

TEST(CliBasics, UnknownCommandFailsWithMessageOnStderr)
{
    const auto run = runCli({QStringLiteral("no-such-command")});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains("unknown command"));
}
