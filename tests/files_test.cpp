#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/process.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

using testing::ScratchDir;

void WriteScript(const std::string& path, const std::string& body) {
    ASSERT_TRUE(WriteWholeFile(path, BytesOf("#!/bin/sh\n" + body + "\n")));
    ASSERT_EQ(chmod(path.c_str(), 0755), 0);
}

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
    EXPECT_TRUE(IsExecutableFile(own + "/files_test"));
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
    WriteScript(dir.File("tool"), "exit 0");
    EXPECT_TRUE(IsExecutableFile(dir.File("tool")));
    ASSERT_TRUE(WriteWholeFile(dir.File("plain"), BytesOf("x")));
    EXPECT_FALSE(IsExecutableFile(dir.File("plain")));
    EXPECT_FALSE(IsExecutableFile(dir.Path()));
}

TEST(StartProgramAndWait, ReportsExitStatusOfAProgramThatRan) {
    ScratchDir dir;
    WriteScript(dir.File("fails"), "echo ran > \"$(dirname \"$0\")/marker\"; exit 3");
    const ProgramRun run = StartProgramAndWait(dir.File("fails"));
    EXPECT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, 3);
    EXPECT_EQ(ReadWholeFile(dir.File("marker")), BytesOf("ran\n")) << "the caller waits until it has ended";
}

TEST(StartProgramAndWait, TellsTheCallerWhenTheProgramCannotStart) {
    ScratchDir dir;
    const ProgramRun missing = StartProgramAndWait(dir.File("picvet"));
    EXPECT_FALSE(missing.started);
    EXPECT_FALSE(missing.failure.empty());
    ASSERT_TRUE(WriteWholeFile(dir.File("not-executable"), BytesOf("#!/bin/sh\n")));
    EXPECT_FALSE(StartProgramAndWait(dir.File("not-executable")).started);
}

TEST(StartProgramAndWait, PassesNoArgumentsAndNeverUsesAShell) {
    ScratchDir dir;
    WriteScript(dir.File("count args"), "echo $# > \"$(dirname \"$0\")/argc\"");
    ASSERT_TRUE(StartProgramAndWait(dir.File("count args")).started) << "a space in the path is not a separator";
    EXPECT_EQ(ReadWholeFile(dir.File("argc")), BytesOf("0\n"));
}

TEST(StartProgramAndWait, KillsAProgramThatRunsPastTheLimit) {
    ScratchDir dir;
    WriteScript(dir.File("hangs"), "exec sleep 30");
    const auto begin = std::chrono::steady_clock::now();
    const ProgramRun run = StartProgramAndWait(dir.File("hangs"), 200);
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_TRUE(run.started);
    EXPECT_TRUE(run.timedOut);
    EXPECT_LT(took, std::chrono::seconds(5));
}

}  // namespace
}  // namespace velkor
