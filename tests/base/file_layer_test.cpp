#include "base/file_layer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>

#include "base/errors.h"
#include "support/temp_dir.h"

namespace tidewire {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

std::vector<std::string> ReadAllLines(const fs::path& path) {
  TextReader reader(path);
  std::vector<std::string> lines;
  while (!reader.AtEnd()) lines.push_back(reader.ReadLine());
  return lines;
}

struct LineCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> lines;
};

class TextReaderLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(TextReaderLines, SplitsAsTheGatewayReads) {
  TempDir dir;
  WriteBytes(dir / "f.txt", GetParam().bytes);
  EXPECT_EQ(ReadAllLines(dir / "f.txt"), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TextReaderLines,
    ::testing::Values(LineCase{"crlf", "a\r\nb\r\n", {"a", "b"}},
                      LineCase{"cr_alone_ends_a_line", "a\rb\r", {"a", "b"}},
                      LineCase{"lone_lf_is_no_line_end", "a\nb\r\nc", {"a\nb", "c"}},
                      LineCase{"cr_cr_gives_an_empty_line", "a\r\rb", {"a", "", "b"}},
                      LineCase{"lf_after_cr_skipped_once", "a\r\n\nb", {"a", "\nb"}},
                      LineCase{"last_line_without_end", "a\r\nlast", {"a", "last"}},
                      LineCase{"byte_26_ends_the_file",
                               std::string("a\r\nb\x1a"
                                           "c\r\nd\r\n"),
                               {"a", "b"}},
                      LineCase{"byte_26_at_line_start",
                               std::string("a\r\n\x1a"
                                           "more"),
                               {"a"}},
                      LineCase{"empty_file", "", {}},
                      LineCase{
                          "nul_is_kept", std::string("a\0b\r\n", 5), {std::string("a\0b", 3)}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextReader, ReadingAtTheEndGivesEmptyLines) {
  TempDir dir;
  WriteBytes(dir / "f.txt", "only\r\n");
  TextReader reader(dir / "f.txt");
  EXPECT_EQ(reader.ReadLine(), "only");
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_EQ(reader.ReadLine(), "");
  EXPECT_EQ(reader.ReadLine(), "");
}

TEST(TextReader, LinesLongerThanTheBufferStayWhole) {
  TempDir dir;
  const std::string big(200000, 'x');
  WriteBytes(dir / "f.txt", big + "\r\n" + big + "\r" + "\n" + "end");
  EXPECT_EQ(ReadAllLines(dir / "f.txt"), (std::vector<std::string>{big, big, "end"}));
}

TEST(TextReader, CrLfSplitAcrossTheBufferEdgeIsOneLineEnd) {
  TempDir dir;
  const std::string first(64 * 1024 - 1, 'a');  // CR is the buffer's last byte
  WriteBytes(dir / "f.txt", first + "\r\nsecond\r\n");
  EXPECT_EQ(ReadAllLines(dir / "f.txt"), (std::vector<std::string>{first, "second"}));
}

// Each row: the file, then per line read its length and whether it continues a longer one.
TEST(TextReader, LongLinesComeInPiecesOrAreRefused) {
  constexpr std::size_t n = kLongestLine;
  const std::string full(n, 'x');
  struct Row {
    const char* name;
    std::string bytes;
    std::vector<std::pair<std::size_t, bool>> split;  // length, Continues()
    bool refused;
  };
  const std::vector<Row> rows = {
      {"at_the_bound", full + "\r\nb", {{n, false}, {1, false}}, false},
      {"at_the_bound_cr_alone", full + "\rb", {{n, false}, {1, false}}, false},
      {"at_the_bound_at_the_end", full, {{n, false}}, false},
      {"at_the_bound_then_byte_26",
       full + "\x1a"
              "more",
       {{n, false}},
       false},
      {"one_over", full + "y\r\nb", {{n, false}, {1, true}, {1, false}}, true},
      {"two_and_a_half", full + full + "/EX\r\n", {{n, false}, {n, true}, {3, true}}, true},
  };
  TempDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WriteBytes(dir / "f.txt", row.bytes);
    TextReader split(dir / "f.txt", LongLines::kSplit);
    std::vector<std::pair<std::size_t, bool>> got;
    while (!split.AtEnd()) {
      const std::string line = split.ReadLine();
      got.emplace_back(line.size(), split.Continues());
    }
    EXPECT_EQ(got, row.split);
    TextReader whole(dir / "f.txt");
    try {
      while (!whole.AtEnd()) (void)whole.ReadLine();
      EXPECT_FALSE(row.refused);
    } catch (const IoError& e) {
      EXPECT_TRUE(row.refused);
      EXPECT_STREQ(e.what(), "Line too long");
      EXPECT_EQ(e.file(), (dir / "f.txt").string());
    }
  }
}

TEST(TextReader, ReadsIntegersSkippingBlanksAndLineEnds) {
  TempDir dir;
  WriteBytes(dir / "n.txt", "  77");
  EXPECT_EQ(TextReader(dir / "n.txt").ReadInteger(), 77);
  WriteBytes(dir / "n.txt", "\r\n\r\n  -5\r\nrest");
  EXPECT_EQ(TextReader(dir / "n.txt").ReadInteger(), -5);
}

TEST(TextReader, NoNumberIsInvalidNumericInput) {
  TempDir dir;
  for (const std::string& content : std::vector<std::string>{"", "   ", "12x", "abc", "99999999999",
                                                             std::string(5 << 20, '7')}) {
    WriteBytes(dir / "n.txt", content);
    TextReader reader(dir / "n.txt");
    try {
      (void)reader.ReadInteger();
      ADD_FAILURE() << "no error for \"" << content.substr(0, 20) << "\"";
    } catch (const IoError& e) {
      EXPECT_STREQ(e.what(), "Invalid numeric input");
      EXPECT_EQ(e.code(), 106);
    }
  }
}

TEST(TextReader, MissingFileAndFolderRaiseTheFileLayerTexts) {
  TempDir dir;
  try {
    TextReader reader(dir / "nothing.txt");
    ADD_FAILURE();
  } catch (const IoError& e) {
    EXPECT_STREQ(e.what(), "File not found");
    EXPECT_EQ(e.file(), (dir / "nothing.txt").string());
  }
  fs::create_directory(dir / "folder");
  EXPECT_THROW(TextReader(dir / "folder"), IoError);
}

TEST(TextWriter, WritesCrLfAndAppends) {
  TempDir dir;
  {
    TextWriter out(dir / "f.txt", TextWriter::Mode::kCreate);
    out.WriteLine("one");
    out.Write("tw");
    out.WriteLine("o");
    out.Close();
  }
  {
    TextWriter out(dir / "f.txt", TextWriter::Mode::kAppend);
    out.WriteLine("");
    out.Close();
  }
  EXPECT_EQ(ReadBytes(dir / "f.txt"), "one\r\ntwo\r\n\r\n");
  TextWriter again(dir / "f.txt", TextWriter::Mode::kCreate);
  again.Close();
  EXPECT_EQ(ReadBytes(dir / "f.txt"), "");
}

TEST(TextWriter, RoundTripsThroughTheReader) {
  TempDir dir;
  const std::vector<std::string> lines = {"", "a\nb", std::string(100000, 'z'), "  x  ", "\xe9"};
  TextWriter out(dir / "f.txt", TextWriter::Mode::kCreate);
  for (const auto& line : lines) out.WriteLine(line);
  out.Close();
  EXPECT_EQ(ReadAllLines(dir / "f.txt"), lines);
}

TEST(TextWriter, FullDiskIsDiskFull) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TextWriter out("/dev/full", TextWriter::Mode::kAppend);
  out.WriteLine("x");
  try {
    out.Close();
    ADD_FAILURE() << "no error";
  } catch (const IoError& e) {
    EXPECT_STREQ(e.what(), "Disk full");
  }
}

TEST(TextWriter, MissingFolderIsReported) {
  TempDir dir;
  try {
    TextWriter out(dir / "no" / "f.txt", TextWriter::Mode::kCreate);
    ADD_FAILURE();
  } catch (const IoError& e) {
    EXPECT_STREQ(e.what(), "File not found");
  }
}

TEST(FileNames, OpenFindsAnyLetterCase) {
  TempDir dir;
  WriteBytes(dir / "twire.cfg", "x\r\n");
  EXPECT_TRUE(FileIsPresent(dir / "TWIRE.CFG"));
  EXPECT_EQ(TextReader(dir / "TWIRE.CFG").ReadLine(), "x");
  EXPECT_EQ(FileSizeOf(dir / "Twire.Cfg"), 3);
}

TEST(FileNames, FoldersOnTheWayMatchAnyCase) {
  TempDir dir;
  fs::create_directories(dir / "fbb" / "mail");
  WriteBytes(dir / "fbb" / "mail" / "fbbemail", "");
  EXPECT_TRUE(FileIsPresent(dir / "FBB" / "MAIL" / "FBBEMAIL"));
  EXPECT_TRUE(FolderIsPresent(dir / "FBB" / "Mail"));
  EXPECT_EQ(ResolvePath(dir / "FBB" / "MAIL" / "new.txt"), dir / "fbb" / "mail" / "new.txt");
}

TEST(FileNames, CreatingReplacesTheEntryOfAnyCase) {
  TempDir dir;
  WriteBytes(dir / "mail.in", "old");
  TextWriter out(dir / "MAIL.IN", TextWriter::Mode::kCreate);
  out.WriteLine("new");
  out.Close();
  EXPECT_EQ(ReadBytes(dir / "mail.in"), "new\r\n");
  EXPECT_EQ(ListFiles(dir.path(), "*"), std::vector<std::string>{"mail.in"});
  CreateEmptyFile(dir / "Mail.In");
  EXPECT_EQ(ReadBytes(dir / "mail.in"), "");
  DeleteFile(dir / "MAIL.in");
  EXPECT_FALSE(fs::exists(dir / "mail.in"));
}

TEST(FileNames, ExactSpellingWinsOverOtherCases) {
  TempDir dir;
  WriteBytes(dir / "A.TXT", "upper");
  WriteBytes(dir / "a.txt", "lower");
  EXPECT_EQ(TextReader(dir / "a.txt").ReadLine(), "lower");
  EXPECT_EQ(TextReader(dir / "A.TXT").ReadLine(), "upper");
}

TEST(FileIsPresent, CountsOnlyWritableRegularFiles) {
  TempDir dir;
  EXPECT_FALSE(FileIsPresent(""));
  EXPECT_FALSE(FileIsPresent(dir / "missing"));
  WriteBytes(dir / "empty", "");
  EXPECT_TRUE(FileIsPresent(dir / "empty"));
  fs::create_directory(dir / "folder");
  EXPECT_FALSE(FileIsPresent(dir / "folder"));
  // Read-only by its mode bits, which root would ignore when opening.
  WriteBytes(dir / "readonly", "x");
  ASSERT_EQ(chmod((dir / "readonly").c_str(), 0444), 0);
  EXPECT_FALSE(FileIsPresent(dir / "readonly"));
}

TEST(FileIsPresent, AFileLockedByAnotherProcessCountsAsAbsent) {
  TempDir dir;
  WriteBytes(dir / "held", "x");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = open((dir / "held").c_str(), O_RDWR);
    flock(fd, LOCK_EX);
    (void)!write(ready[1], "k", 1);
    pause();
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  EXPECT_FALSE(FileIsPresent(dir / "held"));
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_TRUE(FileIsPresent(dir / "held"));
  close(ready[0]);
  close(ready[1]);
}

TEST(FileOperations, CopyReplacesAndReportsAMissingSource) {
  TempDir dir;
  WriteBytes(dir / "src", std::string(300000, 'q'));
  WriteBytes(dir / "DST", "old content");
  CopyFile(dir / "src", dir / "dst");
  EXPECT_EQ(ReadBytes(dir / "DST"), std::string(300000, 'q'));
  EXPECT_EQ(ListFiles(dir.path(), "d*"), std::vector<std::string>{"DST"});
  try {
    CopyFile(dir / "nothing", dir / "target");
    ADD_FAILURE();
  } catch (const IoError& e) {
    EXPECT_STREQ(e.what(), "File not found");
  }
  EXPECT_FALSE(fs::exists(dir / "target"));
}

TEST(FileOperations, DeleteOfAMissingFileIsFileNotFound) {
  TempDir dir;
  EXPECT_THROW(DeleteFile(dir / "x"), IoError);
  EXPECT_NO_THROW(DeleteFileIfPresent(dir / "x"));
  fs::create_directory(dir / "d");
  try {
    DeleteFile(dir / "d");
    ADD_FAILURE();
  } catch (const IoError& e) {
    EXPECT_STREQ(e.what(), "File access denied");
  }
  EXPECT_TRUE(fs::exists(dir / "d"));
}

TEST(FileOperations, RenameReplacesTheTargetOfAnyCase) {
  TempDir dir;
  WriteBytes(dir / "mail.tmp", "new");
  WriteBytes(dir / "mail.in", "old");
  RenameFile(dir / "MAIL.TMP", dir / "MAIL.IN");
  EXPECT_EQ(ReadBytes(dir / "mail.in"), "new");
  EXPECT_FALSE(fs::exists(dir / "mail.tmp"));
}

TEST(Wildcards, MatchLikeDosWithoutCase) {
  EXPECT_TRUE(MatchesWildcard("0000001.MSG", "???????.MSG"));
  EXPECT_TRUE(MatchesWildcard("0000001.msg", "*.MSG"));
  EXPECT_FALSE(MatchesWildcard("00001.MSG", "???????.MSG"));
  EXPECT_TRUE(MatchesWildcard("M01", "*"));
  EXPECT_TRUE(MatchesWildcard("a.b.c", "*.c"));
  EXPECT_FALSE(MatchesWildcard("abc", "*.c"));
  EXPECT_TRUE(MatchesWildcard("", "*"));
  EXPECT_TRUE(MatchesWildcard("aXbXc", "*X*c"));
}

TEST(Wildcards, ListingIsInNameOrderIgnoringCase) {
  TempDir dir;
  for (const char* name : {"b.msg", "A.MSG", "c.MSG", "other.txt"}) WriteBytes(dir / name, "");
  fs::create_directory(dir / "d.msg");
  EXPECT_EQ(ListFiles(dir.path(), "*.msg"), (std::vector<std::string>{"A.MSG", "b.msg", "c.MSG"}));
  EXPECT_TRUE(ListFiles(dir / "missing", "*").empty());
}

TEST(FileNames, OfSeveralCaseVariantsTheFirstInNameOrderIsTaken) {
  TempDir dir;
  for (const char* name : {"index", "INDEX", "Index"}) WriteBytes(dir / name, name);
  EXPECT_EQ(ResolvePath(dir / "iNDEX"), dir / "INDEX");
  EXPECT_EQ(ResolvePath(dir / "missing"), dir / "missing");
}

TEST(CreateNewFile, CreatesOnlyWhenNoEntryOfAnyCaseIsThere) {
  TempDir dir;
  EXPECT_TRUE(CreateNewFile(dir / "x.lck", "one"));
  EXPECT_EQ(ReadBytes(dir / "x.lck"), "one");
  EXPECT_FALSE(CreateNewFile(dir / "X.LCK", "two"));
  EXPECT_EQ(ReadBytes(dir / "x.lck"), "one");
  EXPECT_FALSE(fs::exists(dir / "X.LCK"));
  EXPECT_THROW((void)CreateNewFile(dir / "missing" / "x", ""), IoError);
}

// A link planted under a name the gateway writes (in FBB's folder, which others may write) is
// never written through: the file it points at keeps its bytes.
struct LinkCase {
  const char* name;
  void (*write)(const fs::path& name, const fs::path& source);
  bool raises;  // refused, rather than replaced by a file of its own
};

class PlantedLink : public ::testing::TestWithParam<LinkCase> {};

TEST_P(PlantedLink, TheLinkedFileKeepsItsBytes) {
  TempDir dir;
  WriteBytes(dir / "secret", "password");
  WriteBytes(dir / "source", "mail");
  fs::create_symlink(dir / "secret", dir / "planted");
  fs::create_symlink(dir / "secret", dir / "planted.tmp");
  EXPECT_FALSE(FileIsPresent(dir / "planted"));
  EXPECT_THROW(TextReader reader(dir / "planted"), IoError);
  if (GetParam().raises) {
    EXPECT_THROW(GetParam().write(dir / "planted", dir / "source"), IoError);
  } else {
    GetParam().write(dir / "planted", dir / "source");
    EXPECT_EQ(ReadBytes(dir / "planted"), "mail");
    EXPECT_FALSE(fs::is_symlink(dir / "planted"));
  }
  EXPECT_EQ(ReadBytes(dir / "secret"), "password");
}

void WriteText(const fs::path& path, TextWriter::Mode mode) {
  TextWriter out(path, mode);
  out.Write("mail");
  out.Close();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PlantedLink,
    ::testing::Values(
        LinkCase{
            "create",
            [](const fs::path& p, const fs::path&) { WriteText(p, TextWriter::Mode::kCreate); },
            true},
        LinkCase{
            "append",
            [](const fs::path& p, const fs::path&) { WriteText(p, TextWriter::Mode::kAppend); },
            true},
        LinkCase{"copy", [](const fs::path& p, const fs::path& s) { CopyFile(s, p); }, true},
        LinkCase{"binary", [](const fs::path& p, const fs::path&) { BinaryWriter w(p); }, true},
        LinkCase{"empty_flag", [](const fs::path& p, const fs::path&) { CreateEmptyFile(p); },
                 true},
        LinkCase{"copy_to_new_file",
                 [](const fs::path& p, const fs::path& s) { CopyToNewFile(s, p); }, false},
        LinkCase{"replacement_through_its_temporary",
                 [](const fs::path& p, const fs::path& s) {
                   fs::remove(p);
                   CopyFile(s, p);
                   WriteText(p, TextWriter::Mode::kReplace);
                 },
                 false}),
    [](const auto& info) { return std::string(info.param.name); });

// TWIRE.CFG holds the password: its replacement and its copies stay as closed as it was.
TEST(FileModes, ReplacementsAndCopiesKeepModeAndOwner) {
  TempDir dir;
  const fs::path cfg = dir / "TWIRE.CFG";
  WriteBytes(cfg, "old");
  fs::permissions(cfg, fs::perms::owner_read | fs::perms::owner_write);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(cfg.c_str(), 65534, 65534), 0);
  }
  const mode_t old_mask = ::umask(022);
  WriteText(cfg, TextWriter::Mode::kReplace);
  CopyFile(cfg, dir / "backup.cfg");
  CopyToNewFile(cfg, dir / "handed.cfg");
  ::umask(old_mask);
  for (const char* name : {"TWIRE.CFG", "backup.cfg", "handed.cfg"}) {
    struct stat st {};
    ASSERT_EQ(::stat((dir / name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
  }
  struct stat st {};
  ASSERT_EQ(::stat(cfg.c_str(), &st), 0);
  if (root) {
    EXPECT_EQ(st.st_uid, 65534u);
  }
  EXPECT_EQ(ReadBytes(cfg), "mail");
}

TEST(FileModifiedTime, IsTheContentsLastChange) {
  TempDir dir;
  WriteBytes(dir / "f", "");
  const auto when = fs::file_time_type::clock::now() - std::chrono::hours(2);
  fs::last_write_time(dir / "f", when);
  const std::time_t now = std::time(nullptr);
  EXPECT_NEAR(static_cast<double>(FileModifiedTime(dir / "F")), static_cast<double>(now - 7200), 5);
  EXPECT_THROW((void)FileModifiedTime(dir / "missing"), IoError);
}

// A cached listing must give the answers a scan gives, through the file layer's own changes.
TEST(FolderNameCache, AnswersLikeAScanThroughTheLayersOwnChanges) {
  TempDir dir;
  WriteBytes(dir / "Index", "old");
  const FolderNameCache cache(dir.path());
  EXPECT_EQ(ResolvePath(dir / "INDEX"), dir / "Index");

  TextWriter out(dir / "REPLIES", TextWriter::Mode::kCreate);
  out.Close();
  EXPECT_EQ(ResolvePath(dir / "replies"), dir / "REPLIES");

  CreateEmptyFile(dir / "index");  // replaces the entry of any case
  EXPECT_FALSE(fs::exists(dir / "index"));
  RenameFile(dir / "INDEX", dir / "1.M01");
  EXPECT_EQ(ResolvePath(dir / "index"), dir / "index");
  EXPECT_EQ(ResolvePath(dir / "1.m01"), dir / "1.M01");

  CopyFile(dir / "1.m01", dir / "Copy");
  EXPECT_EQ(ResolvePath(dir / "COPY"), dir / "Copy");
  DeleteFile(dir / "copy");
  EXPECT_FALSE(FileIsPresent(dir / "COPY"));
  EXPECT_TRUE(CreateNewFile(dir / "x.lck", ""));
  EXPECT_FALSE(CreateNewFile(dir / "X.LCK", ""));
  MakeFolder(dir / "Backup");
  EXPECT_TRUE(FolderIsPresent(dir / "BACKUP"));
}

TEST(FolderNameCache, EndsWithItsScopeAndLeavesOtherFoldersAlone) {
  TempDir dir;
  fs::create_directory(dir / "other");
  {
    const FolderNameCache cache(dir / ".");
    // Made behind the layer's back: the other folder is still scanned.
    WriteBytes(dir / "other" / "Late", "");
    EXPECT_EQ(ResolvePath(dir / "other" / "LATE"), dir / "other" / "Late");
  }
  WriteBytes(dir / "Behind", "");
  EXPECT_EQ(ResolvePath(dir / "BEHIND"), dir / "Behind");
  EXPECT_THROW(FolderNameCache(dir / "missing"), IoError);
}

}  // namespace
}  // namespace tidewire
