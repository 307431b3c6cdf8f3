// The media device through Qt's real audio output, into a PulseAudio server that the test
// starts itself with a null sink: the path a user hears. The test listens to the sink's
// monitor to tell sound from silence.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QMediaDevices>
#include <QProcess>
#include <QThread>
#include <chrono>

#include "playback/media_device.h"
#include "playback/qt_audio_output.h"
#include "playback/silent_audio_output.h"
#include "tests/playback/playback_fixtures.h"
#include "tests/playback/pulse_server.h"

namespace melodrift {
namespace {

using testing::PrivatePulseServer;
using testing::TestMp3;
using testing::WaitFor;
using Mode = MediaDevice::Mode;

// Set in the process that runs the test proper.
constexpr char kFreshProcess[] = "MELODRIFT_PULSE_TEST_PROCESS";

// Qt's audio backend connects to the sound server once per process, at its first use. So
// these tests run in a fresh copy of this program that knows the server, or knows there is
// none, before Qt looks for one.
void RunInFreshProcess(const QString& pulse_server = "") {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const testing::TempDir cookie_dir;
  QProcess child;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(kFreshProcess, "1");
  // The sound client keeps its cookie here rather than in the user's home.
  environment.insert("PULSE_COOKIE", QString::fromStdString(cookie_dir.File("cookie")));
  if (!pulse_server.isEmpty()) environment.insert("PULSE_SERVER", pulse_server);
  child.setProcessEnvironment(environment);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(QCoreApplication::applicationFilePath(),
              {QString("--gtest_filter=%1.%2").arg(test->test_suite_name(), test->name())});
  ASSERT_TRUE(child.waitForFinished(180'000)) << "the test process did not end";
  const QString output = QString::fromLocal8Bit(child.readAll());
  EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
  EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

bool HasSinkInputOfThisProcess(const PrivatePulseServer& server) {
  return server.Run("pactl", {"list", "sink-inputs"})
      .contains(QString("application.process.id = \"%1\"").arg(::getpid()));
}

TEST(MediaDeviceWindowTest, PlaysPausesAndSeeksThroughQtAudio) {
  const std::string missing = PrivatePulseServer::MissingPrograms();
  if (!missing.empty()) {
    GTEST_SKIP() << "PulseAudio is not installed (missing:" << missing
                 << "); scripts/install-deps.sh installs it";
  }
  if (qEnvironmentVariableIsEmpty(kFreshProcess)) return RunInFreshProcess();

  PrivatePulseServer server;
  ASSERT_EQ(server.error(), "");
  qputenv("PULSE_SERVER", server.Address().toLocal8Bit());
  ASSERT_EQ(QMediaDevices::defaultAudioOutput().id(), QByteArray(PrivatePulseServer::kSink));

  bool qt_output = false;
  MediaDevice device([&, factory = DefaultAudioOutputFactory()] {
    std::unique_ptr<AudioOutput> output = factory();
    qt_output = dynamic_cast<QtAudioOutput*>(output.get()) != nullptr;
    return output;
  });
  device.FileName = TestMp3("long-stereo-44k.mp3");
  device.Open();
  ASSERT_TRUE(qt_output) << "the factory did not choose Qt's output";

  // Playing: the position follows real time, and the sink plays sound from this process.
  device.Play();
  ASSERT_TRUE(WaitFor([&] { return device.Position() >= 200; }, std::chrono::seconds(10)));
  const auto t0 = std::chrono::steady_clock::now();
  const int64_t p0 = device.Position();
  QThread::msleep(1500);
  const int64_t p1 = device.Position();
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
          .count();
  EXPECT_NEAR(static_cast<double>(p1 - p0) / static_cast<double>(elapsed), 1.0, 0.05)
      << "played " << (p1 - p0) << " ms in " << elapsed << " ms";
  EXPECT_TRUE(HasSinkInputOfThisProcess(server));
  EXPECT_GT(server.MonitorRms(300), 500) << "the sink hears no sound";

  // Paused: the position stands still and the sink falls silent.
  device.PauseToggle();
  EXPECT_EQ(device.GetMode(), Mode::kPaused);
  const int64_t paused_at = device.Position();
  QThread::msleep(200);
  EXPECT_LT(server.MonitorRms(300), 50) << "still sounding while paused";
  EXPECT_EQ(device.Position(), paused_at);

  device.PauseToggle();
  EXPECT_EQ(device.GetMode(), Mode::kPlaying);
  ASSERT_TRUE(WaitFor([&] { return device.Position() > paused_at + 100; }));
  EXPECT_GT(server.MonitorRms(300), 500) << "no sound after the pause";

  // Seek while playing: the position jumps there and goes on.
  device.Seek(6000);
  EXPECT_EQ(device.Position(), 6000);
  EXPECT_EQ(device.GetMode(), Mode::kPlaying);
  ASSERT_TRUE(WaitFor([&] { return device.Position() >= 6300; }));
  EXPECT_LT(device.Position(), 7500);

  // Seek while paused stays paused there; the end comes at the length.
  device.PauseToggle();
  device.Seek(device.Length() - 700);
  EXPECT_EQ(device.GetMode(), Mode::kPaused);
  EXPECT_EQ(device.Position(), device.Length() - 700);
  device.PauseToggle();
  ASSERT_TRUE(WaitFor([&] { return device.GetMode() == Mode::kStopped; }));
  EXPECT_EQ(device.Position(), device.Length());

  // Closed: the stream leaves the sink.
  device.Close();
  EXPECT_TRUE(WaitFor([&] { return !HasSinkInputOfThisProcess(server); }, std::chrono::seconds(5)));
}

// Headless: no sound server. The factory gives the silent output, and Qt's output, should it
// meet a device that cannot play, still takes the sound at the real-time rate to the end.
TEST(MediaDeviceWindowTest, WithoutASoundServerPlaybackStillRunsInRealTime) {
  if (qEnvironmentVariableIsEmpty(kFreshProcess)) {
    return RunInFreshProcess("unix:/nonexistent/melodrift-no-server");
  }
  ASSERT_TRUE(QMediaDevices::defaultAudioOutput().isNull());
  EXPECT_TRUE(dynamic_cast<SilentAudioOutput*>(DefaultAudioOutputFactory()().get()) != nullptr);

  MediaDevice device([] { return std::make_unique<QtAudioOutput>(QAudioDevice()); });
  device.FileName = TestMp3("sine-mono-44k.mp3");
  device.Open();
  const auto start = std::chrono::steady_clock::now();
  device.Play();
  ASSERT_TRUE(WaitFor([&] { return device.GetMode() == Mode::kStopped; }));
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  EXPECT_EQ(device.Position(), device.Length());
  EXPECT_GE(elapsed.count(), device.Length() * 9 / 10) << "faster than real time";
}

}  // namespace
}  // namespace melodrift
