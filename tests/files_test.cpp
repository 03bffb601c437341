#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "platform/files.h"
#include "platform/process.h"
#include "tests/support/scratch_files.h"

namespace velkor {
namespace {

using testing::ScratchDir;

using testing::StandIn;

TEST(WholeFile, WriteReplacesEarlierContentCompletely) {
    ScratchDir dir;
    const std::string path = dir.File("ini.ini");
    ASSERT_TRUE(WriteWholeFile(path, BytesOf("0123456789")));
    ASSERT_TRUE(WriteWholeFile(path, BytesOf("1")));
    EXPECT_EQ(ReadWholeFile(path), BytesOf("1"));
}

TEST(WholeFile, ReadOfMissingOrUnreadableFileIsEmpty) {
    ScratchDir dir;
    EXPECT_TRUE(ReadWholeFile(dir.File("missing")).empty());
    EXPECT_TRUE(ReadWholeFile(dir.Path()).empty()) << "a directory is not a file";
    EXPECT_FALSE(WriteWholeFile(dir.File("no/such/dir/file"), BytesOf("x")));
}

TEST(WholeFile, MappingShowsTheContentAndIsEmptyForMissingFiles) {
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("tem.tem"), BytesOf("picture")));
    const FileMapping mapped(dir.File("tem.tem"));
    EXPECT_EQ(ByteSet(mapped.View().begin(), mapped.View().end()), BytesOf("picture"));
    EXPECT_TRUE(FileMapping(dir.File("missing")).View().empty());
}

TEST(ProgramDirectory, IsTheExecutablesDirectoryWithoutTrailingSeparatorAndCanBeOverridden) {
    const std::string own = ProgramDirectory();
    ASSERT_FALSE(own.empty());
    EXPECT_NE(own.back(), '/');
    EXPECT_TRUE(IsExecutableFile(own + "/files_test" + kProgramSuffix));
    ScratchDir dir;
    OverrideProgramDirectory(dir.Path() + "/");
    EXPECT_EQ(ProgramDirectory(), dir.Path());
    OverrideProgramDirectory("");
    EXPECT_EQ(ProgramDirectory(), own);
}

TEST(DirectoryChecks, TellWritableDirectoriesAndExecutables) {
    ScratchDir dir;
    EXPECT_TRUE(IsDirectoryWritable(dir.Path()));
    EXPECT_FALSE(IsDirectoryWritable(dir.File("missing")));
    EXPECT_TRUE(IsExecutableFile(StandIn(dir.File("tool"), "exit 0")));
    ASSERT_TRUE(WriteWholeFile(dir.File("plain"), BytesOf("x")));
    EXPECT_FALSE(IsExecutableFile(dir.File("plain")));
    EXPECT_FALSE(IsExecutableFile(dir.Path()));
}

TEST(StartProgramAndWait, ReportsExitStatusOfAProgramThatRan) {
    ScratchDir dir;
    const std::string program = StandIn(dir.File("fails"), "exit 3");
    const ProgramRun run = StartProgramAndWait(program);
    EXPECT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, 3);
    EXPECT_EQ(ReadWholeFile(program + ".ran"), BytesOf("ran")) << "the caller waits until it has ended";
}

TEST(StartProgramAndWait, TellsTheCallerWhenTheProgramCannotStart) {
    ScratchDir dir;
    const ProgramRun missing = StartProgramAndWait(dir.File("picvet") + kProgramSuffix);
    EXPECT_FALSE(missing.started);
    EXPECT_FALSE(missing.failure.empty());
    const std::string notProgram = dir.File("not-executable") + kProgramSuffix;
    ASSERT_TRUE(WriteWholeFile(notProgram, BytesOf("#!/bin/sh\n")));
    EXPECT_FALSE(StartProgramAndWait(notProgram).started);
}

TEST(StartProgramAndWait, PassesNoArgumentsAndNeverUsesAShell) {
    ScratchDir dir;
    const std::string program = StandIn(dir.File("count args"), "count");
    ASSERT_TRUE(StartProgramAndWait(program).started) << "a space in the path is not a separator";
    EXPECT_EQ(ReadWholeFile(program + ".argc"), BytesOf("0"));
}

TEST(StartProgramAndWait, KillsAProgramThatRunsPastTheLimit) {
    ScratchDir dir;
    const std::string program = StandIn(dir.File("hangs"), "sleep 30000");
    const auto begin = std::chrono::steady_clock::now();
    const ProgramRun run = StartProgramAndWait(program, 200);
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_TRUE(run.started);
    EXPECT_TRUE(run.timedOut);
    EXPECT_LT(took, std::chrono::seconds(5));
}

}  // namespace
}  // namespace velkor
