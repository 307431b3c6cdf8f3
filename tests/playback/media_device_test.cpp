// The media device on the silent output: playing, the end of a track, seeking, pausing,
// closing while playing, the errors of Open and the pause toggle. Most tests run on a clock
// that goes faster than real time, or only when told; one runs in real time.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "playback/media_device.h"
#include "playback/mp3_source.h"
#include "tests/playback/playback_fixtures.h"

namespace melodrift {
namespace {

using std::chrono::milliseconds;
using testing::FastClock;
using testing::ImportSamples;
using testing::ManualClock;
using testing::RecordingDevice;
using testing::TempDir;
using testing::TestMp3;
using testing::WaitFor;
using Mode = MediaDevice::Mode;

constexpr milliseconds kWholeFile(60'000);  // a queue that takes any test file at once

std::shared_ptr<const OutputClock> Fast() {
  return std::make_shared<FastClock>(50);
}

// The samples of `mp3` from `ms` on, as the import decodes them.
std::vector<int16_t> ImportSamplesFrom(const std::string& mp3, int64_t ms) {
  const auto source = LoadMp3Source(mp3);
  const std::vector<int16_t> all = ImportSamples(mp3);
  const auto skip = static_cast<size_t>(source->table.MsToSample(ms) * source->table.channels);
  return std::vector<int16_t>(all.begin() + static_cast<ptrdiff_t>(std::min(skip, all.size())),
                              all.end());
}

// `played` begins with `expected` and holds `samples` samples in all. (The import leaves out
// the last frame: libmad decodes a frame only with bytes after it, which its buffer lacks.)
void ExpectPlayed(const std::vector<int16_t>& played, const std::vector<int16_t>& expected,
                  size_t samples) {
  EXPECT_EQ(played.size(), samples);
  ASSERT_LE(expected.size(), played.size());
  const auto [p, e] = std::mismatch(expected.begin(), expected.end(), played.begin());
  EXPECT_TRUE(p == expected.end())
      << "differs from sample " << (p - expected.begin()) << " of " << expected.size();
}

size_t SamplesFrom(const std::string& mp3, int64_t ms) {
  const Mp3FrameTable table = LoadMp3Source(mp3)->table;
  return static_cast<size_t>((table.total_samples - table.MsToSample(ms)) * table.channels);
}

int CountThreads() {
  int n = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator("/proc/self/task")) {
    ++n;
  }
  return n;
}

bool HasOpenDescriptorFor(const std::string& path) {
  const std::string target = std::filesystem::canonical(path).string();
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(entry.path(), ec).string() == target) return true;
  }
  return false;
}

TEST(MediaDeviceTest, PlaysToTheEndWithTheImportsSamplesAndPlayThenStartsAgain) {
  for (const char* name : {"sine-stereo-44k.mp3", "sine-mono-44k.mp3", "sine-stereo-22k.mp3",
                           "pink-stereo-44k.mp3", "white-mono-22k.mp3"}) {
    SCOPED_TRACE(name);
    const std::string mp3 = TestMp3(name);
    RecordingDevice r(Fast());
    r.device.FileName = mp3;
    r.device.Open();
    EXPECT_EQ(r.device.GetMode(), Mode::kStopped);
    EXPECT_EQ(r.device.Position(), 0);

    r.device.Play();
    EXPECT_EQ(r.device.GetMode(), Mode::kPlaying);
    ASSERT_TRUE(WaitFor([&] { return r.device.Position() > 0; }));
    ASSERT_TRUE(WaitFor([&] { return r.device.GetMode() == Mode::kStopped; }));
    EXPECT_EQ(r.device.Position(), r.device.Length());

    // At the end, Play starts from 0 and plays the whole file once more.
    r.device.Play();
    EXPECT_EQ(r.device.GetMode(), Mode::kPlaying);
    ASSERT_TRUE(WaitFor([&] { return r.device.GetMode() == Mode::kStopped; }));
    EXPECT_EQ(r.device.Position(), r.device.Length());

    const auto segments = r.last->Segments();
    ASSERT_EQ(segments.size(), 2u);
    ExpectPlayed(segments[0], ImportSamples(mp3), SamplesFrom(mp3, 0));
    EXPECT_EQ(segments[1], segments[0]);
  }
}

TEST(MediaDeviceTest, SeekPlaysTheSamplesFromTheTarget) {
  struct Case {
    const char* file;
    int64_t ms;
  };
  // Targets in the first frames (less to decode before them) and later, in MPEG-1 and MPEG-2
  // files, constant and variable bit rate.
  for (const Case& c : {Case{"sine-stereo-44k.mp3", 100}, Case{"sine-stereo-44k.mp3", 1234},
                        Case{"sine-stereo-22k.mp3", 1500}, Case{"pink-stereo-44k.mp3", 2001},
                        Case{"white-mono-22k.mp3", 999}}) {
    SCOPED_TRACE(std::string(c.file) + " at " + std::to_string(c.ms));
    const std::string mp3 = TestMp3(c.file);
    RecordingDevice r(Fast());
    r.device.FileName = mp3;
    r.device.Open();
    r.device.Seek(c.ms);
    EXPECT_EQ(r.device.Position(), c.ms);
    r.device.Play();
    ASSERT_TRUE(WaitFor([&] { return r.device.GetMode() == Mode::kStopped; }));
    ExpectPlayed(r.last->Segments().back(), ImportSamplesFrom(mp3, c.ms), SamplesFrom(mp3, c.ms));
  }
}

// On a clock that moves only when told, and with the whole file queued at once, positions
// are exact.
class ManualClockDeviceTest : public ::testing::Test {
 protected:
  void OpenFile(const char* name) {
    mp3_ = TestMp3(name);
    r_.device.FileName = mp3_;
    r_.device.Open();
  }
  // Plays and waits until the decoder has queued everything from `from_ms` on.
  void PlayQueued(int64_t from_ms) {
    r_.device.Play();
    ASSERT_TRUE(WaitFor([&] { return r_.last->LastSegmentSize() == SamplesFrom(mp3_, from_ms); }));
  }
  void Advance(int64_t ms) { clock_->Advance(milliseconds(ms)); }

  std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
  RecordingDevice r_{clock_, kWholeFile};
  std::string mp3_;
};

TEST_F(ManualClockDeviceTest, PositionFollowsWhatHasBeenPlayed) {
  OpenFile("sine-stereo-44k.mp3");
  PlayQueued(0);
  EXPECT_EQ(r_.device.Position(), 0);
  Advance(500);
  EXPECT_EQ(r_.device.Position(), 500);
  Advance(1000);
  EXPECT_EQ(r_.device.Position(), 1500);
  EXPECT_EQ(r_.device.GetMode(), Mode::kPlaying);
  Advance(10'000);
  EXPECT_EQ(r_.device.Position(), r_.device.Length());
  EXPECT_EQ(r_.device.GetMode(), Mode::kStopped);
}

TEST_F(ManualClockDeviceTest, SeekWhileStoppedSetsThePositionWithinTheFile) {
  OpenFile("sine-stereo-44k.mp3");
  const int64_t length = r_.device.Length();
  struct Case {
    int64_t to, expected;
  };
  for (const Case& c : {Case{0, 0}, Case{1, 1}, Case{777, 777}, Case{length - 1, length - 1},
                        Case{length, length}, Case{-5, 0}, Case{length + 1000, length}}) {
    r_.device.Seek(c.to);
    EXPECT_EQ(r_.device.Position(), c.expected) << "seek to " << c.to;
    EXPECT_EQ(r_.device.GetMode(), Mode::kStopped);
  }
}

TEST_F(ManualClockDeviceTest, SeekWhilePlayingGoesOnFromTheTarget) {
  OpenFile("sine-stereo-44k.mp3");
  PlayQueued(0);
  Advance(300);
  r_.device.Seek(1234);
  EXPECT_EQ(r_.device.Position(), 1234);
  EXPECT_EQ(r_.device.GetMode(), Mode::kPlaying);
  ASSERT_TRUE(WaitFor([&] { return r_.last->LastSegmentSize() == SamplesFrom(mp3_, 1234); }));
  Advance(100);
  EXPECT_EQ(r_.device.Position(), 1334);
}

TEST_F(ManualClockDeviceTest, SeekWhilePausedStaysPausedAtTheTarget) {
  OpenFile("sine-stereo-44k.mp3");
  PlayQueued(0);
  Advance(200);
  r_.device.PauseToggle();
  EXPECT_EQ(r_.device.GetMode(), Mode::kPaused);
  r_.device.Seek(1500);
  EXPECT_EQ(r_.device.GetMode(), Mode::kPaused);
  EXPECT_EQ(r_.device.Position(), 1500);
  ASSERT_TRUE(WaitFor([&] { return r_.last->LastSegmentSize() == SamplesFrom(mp3_, 1500); }));
  Advance(500);
  EXPECT_EQ(r_.device.Position(), 1500);
  r_.device.PauseToggle();
  EXPECT_EQ(r_.device.GetMode(), Mode::kPlaying);
  Advance(100);
  EXPECT_EQ(r_.device.Position(), 1600);
}

// Play at the end rewinds, unless the caller has just moved there with Seek: then there is
// nothing left to play.
TEST_F(ManualClockDeviceTest, PlayAtTheEndRewindsUnlessASeekPutItThere) {
  OpenFile("sine-stereo-44k.mp3");
  const int64_t length = r_.device.Length();
  r_.device.Seek(length);
  PlayQueued(length);  // what is left after the last whole millisecond
  EXPECT_EQ(r_.device.Position(), length);
  Advance(1);
  ASSERT_TRUE(WaitFor([&] { return r_.device.GetMode() == Mode::kStopped; }));
  EXPECT_EQ(r_.device.Position(), length);

  PlayQueued(0);
  EXPECT_EQ(r_.device.GetMode(), Mode::kPlaying);
  Advance(250);
  EXPECT_EQ(r_.device.Position(), 250);

  // A Stop between the Seek and the Play: the start position is gone, Play rewinds.
  r_.device.Stop();
  r_.device.Seek(length);
  r_.device.Stop();
  PlayQueued(0);
  EXPECT_EQ(r_.device.Position(), 0);
}

TEST_F(ManualClockDeviceTest, StopKeepsThePositionAndPlayGoesOnFromIt) {
  OpenFile("sine-mono-44k.mp3");
  PlayQueued(0);
  Advance(400);
  r_.device.Stop();
  EXPECT_EQ(r_.device.GetMode(), Mode::kStopped);
  Advance(300);
  EXPECT_EQ(r_.device.Position(), 400);
  PlayQueued(400);
  Advance(100);
  EXPECT_EQ(r_.device.Position(), 500);
}

TEST(MediaDeviceTest, PauseFreezesThePositionAndLosesNothing) {
  const std::string mp3 = TestMp3("sine-stereo-44k.mp3");
  RecordingDevice r(Fast());
  r.device.FileName = mp3;
  r.device.Open();
  r.device.PauseToggle();  // stopped: nothing
  EXPECT_EQ(r.device.GetMode(), Mode::kStopped);

  r.device.Play();
  ASSERT_TRUE(WaitFor([&] { return r.device.Position() >= 300; }));
  r.device.PauseToggle();
  EXPECT_EQ(r.device.GetMode(), Mode::kPaused);
  const int64_t paused_at = r.device.Position();
  EXPECT_LT(paused_at, r.device.Length());
  std::this_thread::sleep_for(milliseconds(60));  // three seconds on this clock
  EXPECT_EQ(r.device.Position(), paused_at);
  EXPECT_EQ(r.device.GetMode(), Mode::kPaused);

  r.device.PauseToggle();
  EXPECT_EQ(r.device.GetMode(), Mode::kPlaying);
  ASSERT_TRUE(WaitFor([&] { return r.device.Position() > paused_at; }));
  r.device.PauseToggle();
  EXPECT_EQ(r.device.GetMode(), Mode::kPaused);
  r.device.Play();  // resumes, as the pause toggle does
  EXPECT_EQ(r.device.GetMode(), Mode::kPlaying);
  ASSERT_TRUE(WaitFor([&] { return r.device.GetMode() == Mode::kStopped; }));
  EXPECT_EQ(r.device.Position(), r.device.Length());

  r.device.PauseToggle();  // at the end: nothing
  EXPECT_EQ(r.device.GetMode(), Mode::kStopped);
  ExpectPlayed(r.last->Segments().front(), ImportSamples(mp3), SamplesFrom(mp3, 0));
}

TEST(MediaDeviceTest, DamagedFilePlaysToItsLength) {
  const std::string mp3 = TestMp3("damaged.mp3");
  RecordingDevice r(Fast());
  r.device.FileName = mp3;
  r.device.Open();
  EXPECT_GT(r.device.Length(), 1000);
  r.device.Play();
  ASSERT_TRUE(WaitFor([&] { return r.device.GetMode() == Mode::kStopped; }));
  EXPECT_EQ(r.device.Position(), r.device.Length());
  // Undecodable frames play as silence of their length, so the sound and the length agree.
  EXPECT_EQ(r.last->Segments().front().size(), SamplesFrom(mp3, 0));
}

TEST(MediaDeviceTest, CloseWhilePlayingReleasesTheFileAndItsThread) {
  TempDir dir;
  const std::string mp3 = dir.File("playing.mp3");
  std::filesystem::copy_file(TestMp3("long-stereo-44k.mp3"), mp3);
  const int threads = CountThreads();
  {
    MediaDevice outlived([] { return std::make_unique<SilentAudioOutput>(); });
    outlived.FileName = mp3;
    outlived.Open();
    outlived.Play();
  }  // destroyed while playing
  EXPECT_EQ(CountThreads(), threads);

  MediaDevice device([] { return std::make_unique<SilentAudioOutput>(); });
  device.FileName = mp3;
  device.Open();
  device.Play();
  ASSERT_TRUE(WaitFor([&] { return device.Position() > 0; }));
  EXPECT_GT(CountThreads(), threads);
  EXPECT_FALSE(HasOpenDescriptorFor(mp3)) << "the file is read at Open, not held while playing";

  device.Close();
  EXPECT_EQ(device.GetMode(), Mode::kNotOpen);
  EXPECT_EQ(device.Length(), 0);
  EXPECT_EQ(device.Position(), 0);
  EXPECT_EQ(CountThreads(), threads);
  EXPECT_FALSE(HasOpenDescriptorFor(mp3));
  EXPECT_TRUE(std::filesystem::remove(mp3));
}

// Every operation on a device with no file is harmless; only the pause toggle complains.
TEST(MediaDeviceTest, WithoutAnOpenFileOnlyThePauseToggleFails) {
  TempDir dir;
  MediaDevice device([] { return std::make_unique<SilentAudioOutput>(); });
  for (const char* when : {"never opened", "after a failed Open", "after Close"}) {
    SCOPED_TRACE(when);
    if (std::string(when) == "after a failed Open") {
      device.FileName = dir.File("missing.mp3");
      EXPECT_THROW(device.Open(), MediaError);
    } else if (std::string(when) == "after Close") {
      device.FileName = TestMp3("sine-mono-44k.mp3");
      device.Open();
      device.Play();
      device.Close();
    }
    device.Play();
    device.Seek(500);
    device.Stop();
    device.Close();
    EXPECT_EQ(device.GetMode(), Mode::kNotOpen);
    EXPECT_EQ(device.Length(), 0);
    EXPECT_EQ(device.Position(), 0);
    try {
      device.PauseToggle();
      ADD_FAILURE() << "no error";
    } catch (const MediaError& e) {
      EXPECT_STREQ(e.what(), "No MCI device open");
    }
  }
}

TEST(MediaDeviceTest, OpenErrorsNameTheFileAndTheReason) {
  TempDir dir;
  struct Case {
    std::string path, message;
  };
  const Case cases[] = {
      {dir.File("missing.mp3"),
       "Cannot open \"" + dir.File("missing.mp3") + "\": No such file or directory"},
      {dir.path(), "Cannot open \"" + dir.path() + "\": Is a directory"},
      {TestMp3("empty.mp3"), "Cannot play \"" + TestMp3("empty.mp3") + "\": no MPEG audio found"},
      {TestMp3("not-an-mp3.mp3"),
       "Cannot play \"" + TestMp3("not-an-mp3.mp3") + "\": no MPEG audio found"},
  };
  MediaDevice device([] { return std::make_unique<SilentAudioOutput>(); });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    device.FileName = TestMp3("sine-mono-44k.mp3");
    device.Open();
    device.Play();
    device.FileName = c.path;
    try {
      device.Open();
      ADD_FAILURE() << "no error";
    } catch (const MediaError& e) {
      EXPECT_EQ(e.what(), c.message);
    }
    EXPECT_EQ(device.GetMode(), Mode::kNotOpen);  // the file before is closed too
    EXPECT_EQ(device.Length(), 0);
  }
}

TEST(MediaDeviceTest, SilentOutputPlaysInRealTime) {
  MediaDevice device([] { return std::make_unique<SilentAudioOutput>(); });
  device.FileName = TestMp3("sine-stereo-44k.mp3");
  device.Open();
  device.Play();
  ASSERT_TRUE(WaitFor([&] { return device.Position() >= 100; }));
  const auto t0 = std::chrono::steady_clock::now();
  const int64_t p0 = device.Position();
  std::this_thread::sleep_for(milliseconds(1500));
  const int64_t p1 = device.Position();
  const auto elapsed =
      std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_NEAR(static_cast<double>(p1 - p0) / static_cast<double>(elapsed), 1.0, 0.05)
      << "played " << (p1 - p0) << " ms in " << elapsed << " ms";
  EXPECT_EQ(device.GetMode(), Mode::kPlaying);
}

}  // namespace
}  // namespace melodrift
