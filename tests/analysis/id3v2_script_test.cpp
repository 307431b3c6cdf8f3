// Files tagged by tests/fixtures/id3tag.py, the tagging script the other test scripts use,
// read back with GetIDTag: the script and the reader must agree on every encoding and frame
// layout.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/id3v2_tag.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace melodrift {
namespace {

using testing::TempDir;

const std::string kScript =
    (std::filesystem::path(__FILE__).parent_path().parent_path() / "fixtures" / "id3tag.py")
        .string();

// Exit status of the program, found on PATH, or -1 when it cannot be started.
int RunProgram(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string Joined(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& w : words) out += w + " ";
  return out;
}

bool HavePython() {
  static const bool found = RunProgram({"python3", "-c", ""}) == 0;
  return found;
}

class Id3v2ScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HavePython()) GTEST_SKIP() << "python3 is not installed: the tagging script cannot run";
    ASSERT_TRUE(std::filesystem::exists(kScript)) << kScript;
    testing::WriteFileBytes(audio_, kAudio);
  }

  // Tags the audio with the script and these options; returns the tagged file's path.
  std::string TagAudio(const std::vector<std::string>& options, const std::string& in = "") {
    std::vector<std::string> args = {"python3", kScript};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(in.empty() ? audio_ : in);
    args.push_back(dir_.File("tagged" + std::to_string(++count_) + ".mp3"));
    EXPECT_EQ(RunProgram(args), 0);
    return args.back();
  }

  const std::string kAudio = std::string("\xFF\xFB\x90\x64\x00\xFF\xE0\x00", 8);
  TempDir dir_;
  std::string audio_ = dir_.File("audio.mp3");
  int count_ = 0;
};

TEST_F(Id3v2ScriptTest, EveryEncodingAndLayoutReadsBack) {
  // Texts with an accented letter that every encoding can carry; the artist of the UTF-16
  // and UTF-8 files also holds a character the reader cannot (it ends the text).
  const std::vector<std::vector<std::string>> layouts = {
      {},
      {"--terminate"},
      {"--compress"},
      {"--unsync"},
      {"--crc", "--padding", "64"},
      {"--extended-header", "--mp3e-padding", "--padding", "16"},
      {"--compress", "--unsync", "--extended-header"},
  };
  struct Encoding {
    std::vector<std::string> options;
    std::string artist_in, artist_out;
  };
  const std::vector<Encoding> encodings = {
      {{"--encoding", "latin1"}, "Café", "Caf\xE9"},
      {{"--encoding", "utf16"}, "Café €", "Caf\xE9"},
      {{"--encoding", "utf16", "--bom", "feff"}, "Café €", "Caf\xE9"},
      {{"--encoding", "utf16be"}, "Café €", "Caf\xE9"},
      {{"--encoding", "utf8"}, "Café €", "Caf\xE9"},
  };
  Tid3v2tag reader;
  for (const char* version : {"3", "4"}) {
    for (const Encoding& e : encodings) {
      for (const auto& layout : layouts) {
        std::vector<std::string> options = {"--version", version,     "--title", "Ça ira",
                                            "--artist",  e.artist_in, "--album", "Ünter"};
        options.insert(options.end(), e.options.begin(), e.options.end());
        options.insert(options.end(), layout.begin(), layout.end());
        SCOPED_TRACE(Joined(options));
        const TagTexts texts = GetIDTag(reader, TagAudio(options));
        EXPECT_TRUE(texts.usable);
        EXPECT_EQ(texts.song,
                  "\xC7"
                  "a ira");
        EXPECT_EQ(texts.artist, e.artist_out);
        EXPECT_EQ(texts.album, "\xDCnter");
      }
    }
  }
}

TEST_F(Id3v2ScriptTest, FrameOptionsReadBackAsTheReaderTreatsThem) {
  struct Case {
    std::vector<std::string> options;
    std::string artist;  // "": the tag is unusable
  };
  const std::vector<Case> cases = {
      {{"--version", "4", "--frame", "TPE1,split:;=One;Two"}, "One"},
      {{"--frame", "TPE1=Line one\nLine two"}, "Line one"},
      {{"--frame", "TPE1,group:7,compress=Grouped"}, "Grouped"},
      {{"--version", "4", "--frame", "TPE1,group,length,unsync=Flagged \xC3\xBF"}, "Flagged \xFF"},
      {{"--frame", "TPE1,encrypt=Secret"}, ""},
      {{"--version", "4", "--frame", "TPE1,encrypt:5=Secret"}, ""},
      {{"--frame", "TPE1=   "}, ""},
      {{"--version", "2", "--artist", "Old"}, ""},
  };
  Tid3v2tag reader;
  for (const Case& c : cases) {
    std::vector<std::string> options = c.options;
    options.insert(options.end(), {"--title", "Song", "--album", "Album"});
    SCOPED_TRACE(Joined(options));
    const TagTexts texts = GetIDTag(reader, TagAudio(options));
    EXPECT_EQ(texts.usable, !c.artist.empty());
    EXPECT_EQ(texts.artist, c.artist.empty() ? "unknown" : c.artist);
  }
}

TEST_F(Id3v2ScriptTest, StripReplacesTheTagAndKeepsTheAudio) {
  const std::string first =
      TagAudio({"--title", "Old", "--artist", "Old", "--album", "Old", "--padding", "100"});
  const std::string retagged = TagAudio(
      {"--strip", "--version", "4", "--title", "New", "--artist", "A", "--album", "B"}, first);
  const std::string stripped = TagAudio({"--strip"}, retagged);
  Tid3v2tag reader;
  const TagTexts texts = GetIDTag(reader, retagged);
  EXPECT_EQ(texts.song, "New");
  EXPECT_EQ(reader.Version(), 4);
  const std::string bytes = testing::ReadFileBytes(retagged);
  ASSERT_GE(bytes.size(), kAudio.size());
  EXPECT_EQ(bytes.substr(bytes.size() - kAudio.size()), kAudio);
  EXPECT_EQ(bytes.find("Old"), std::string::npos);
  EXPECT_EQ(testing::ReadFileBytes(stripped), kAudio);
}

}  // namespace
}  // namespace melodrift
