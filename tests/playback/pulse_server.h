// A PulseAudio server of the test's own, with one null sink, in a private runtime folder: Qt's
// audio output plays into it as into a sound card, and the test can listen to the sink's
// monitor. Stopped, with everything it started, when the object goes.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QThread>
#include <cmath>
#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace melodrift::testing {

class PrivatePulseServer {
 public:
  static constexpr const char* kSink = "melodrift_null";

  // The programs the server needs that are missing ("" when none is).
  static std::string MissingPrograms() {
    std::string missing;
    for (const char* program : {"pulseaudio", "pactl", "parec", "pacat"}) {
      if (QStandardPaths::findExecutable(program).isEmpty()) missing += std::string(" ") + program;
    }
    return missing;
  }

  // Starts the server and waits for its socket; error() says why when it did not come up.
  PrivatePulseServer() {
    const QString socket = QString::fromStdString(dir_.File("native"));
    environment_ = QProcessEnvironment::systemEnvironment();
    environment_.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir_.path()));
    environment_.insert("HOME", QString::fromStdString(dir_.path()));
    environment_.insert("PULSE_SERVER", "unix:" + socket);
    server_.setProcessEnvironment(environment_);
    server_.setProcessChannelMode(QProcess::MergedChannels);
    // --system=no and --disallow-exit let it run as root too; no configuration is read.
    server_.start("pulseaudio",
                  {"-n", "--daemonize=no", "--system=no", "--disallow-exit", "--use-pid-file=no",
                   "--exit-idle-time=-1", "--disable-shm=yes",
                   QString("--load=module-null-sink sink_name=") + kSink,
                   "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket});
    for (int i = 0; i < 500 && !std::filesystem::exists(socket.toStdString()); ++i) {
      if (server_.state() == QProcess::NotRunning) break;
      QThread::msleep(10);
    }
    if (!std::filesystem::exists(socket.toStdString())) {
      server_.waitForFinished(100);
      error_ = "pulseaudio did not start: " + server_.readAll().toStdString();
      return;
    }
    // An idle null sink sleeps in blocks of two seconds and starts a new stream only at the
    // end of one; a stream that never ends keeps it at a sound card's pace. It plays zeros,
    // which add nothing to what the monitor hears.
    keep_alive_.setProcessEnvironment(environment_);
    keep_alive_.start("pacat", {"--raw", "--latency-msec=20", "--device", kSink, "/dev/zero"});
    if (!keep_alive_.waitForStarted(5000)) error_ = "pacat did not start";
  }

  ~PrivatePulseServer() {
    for (QProcess* process : {&keep_alive_, &server_}) {
      if (process->state() == QProcess::NotRunning) continue;
      process->terminate();
      if (!process->waitForFinished(5000)) {
        process->kill();
        process->waitForFinished(5000);
      }
    }
  }
  PrivatePulseServer(const PrivatePulseServer&) = delete;
  PrivatePulseServer& operator=(const PrivatePulseServer&) = delete;

  const std::string& error() const { return error_; }
  // PULSE_SERVER for clients of this server.
  QString Address() const { return environment_.value("PULSE_SERVER"); }

  // Output of a pulseaudio-utils command run against this server.
  QString Run(const QString& program, const QStringList& arguments) const {
    QProcess tool;
    tool.setProcessEnvironment(environment_);
    tool.start(program, arguments);
    tool.waitForFinished(10000);
    return QString::fromLocal8Bit(tool.readAllStandardOutput());
  }

  // Root mean square of what the sink plays for about `ms` milliseconds, 16-bit stereo.
  double MonitorRms(int ms) const {
    QProcess recorder;
    recorder.setProcessEnvironment(environment_);
    recorder.start("timeout", {QString::number(ms / 1000.0), "parec", "--raw", "--format=s16le",
                               "--rate=44100", "--channels=2", "--latency-msec=20", "--device",
                               QString(kSink) + ".monitor"});
    recorder.waitForFinished(ms + 10000);
    const QByteArray bytes = recorder.readAllStandardOutput();
    const auto* samples = reinterpret_cast<const int16_t*>(bytes.constData());
    const size_t count = static_cast<size_t>(bytes.size()) / 2;
    double sum = 0;
    for (size_t i = 0; i < count; ++i) sum += static_cast<double>(samples[i]) * samples[i];
    return count == 0 ? -1 : std::sqrt(sum / static_cast<double>(count));
  }

 private:
  TempDir dir_;
  QProcessEnvironment environment_;
  QProcess server_;
  QProcess keep_alive_;
  std::string error_;
};

}  // namespace melodrift::testing
