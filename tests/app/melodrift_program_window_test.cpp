// The real executable under a private X server: the first start creates the library, a second
// start reads it, SIGTERM ends it cleanly, and its two fatal start-up errors end it with their
// codes after their boxes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "library/table_error.h"
#include "tests/app/shell_fixtures.h"
#include "tests/support/temp_dir.h"

namespace melodrift {
namespace {

using testing::FileSize;
using testing::ReadFileBytes;
using testing::TempDir;

constexpr int kWaitMs = 20000;

bool HaveTools() {
  for (const char* tool : {"Xvfb", "xwininfo", "xprop", "xdotool"}) {
    if (QStandardPaths::findExecutable(tool).isEmpty()) return false;
  }
  return true;
}

// A private X server for the life of the object. Tests run in parallel processes, and an
// X server that is ending can remove the socket of a new one that took over its display
// number; so each process starts from a display number of its own (from its process id) and
// takes the next when one is in use.
class XServer {
 public:
  XServer() {
    const int first = 100 + static_cast<int>(::getpid() % 400) * 2;
    for (int number = first; number < first + 20 && display_.isEmpty(); ++number) {
      server_.setProgram("Xvfb");
      server_.setArguments({":" + QString::number(number), "-displayfd", "1", "-screen", "0",
                            "1024x768x24", "-nolisten", "tcp"});
      server_.start();
      if (server_.waitForReadyRead(kWaitMs)) {
        const QByteArray ready = server_.readLine().trimmed();
        if (!ready.isEmpty()) display_ = ":" + QString::fromLatin1(ready);
      }
      if (display_.isEmpty()) {
        server_.kill();
        server_.waitForFinished(5000);
      }
    }
  }
  ~XServer() {
    server_.terminate();
    if (!server_.waitForFinished(5000)) server_.kill();
    server_.waitForFinished(5000);
  }
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  const QString& display() const { return display_; }

  QProcessEnvironment Environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display_);
    env.insert("QT_QPA_PLATFORM", "xcb");
    return env;
  }

  // Standard output of an X client run to its end.
  QString Run(const QString& program, const QStringList& args) const {
    QProcess tool;
    tool.setProcessEnvironment(Environment());
    tool.start(program, args);
    tool.waitForFinished(kWaitMs);
    return QString::fromLocal8Bit(tool.readAllStandardOutput());
  }

  // Ids of the windows with this name that are mapped on the screen.
  QStringList VisibleWindows(const QString& name) const {
    QStringList ids;
    const QString tree = Run("xwininfo", {"-root", "-tree"});
    const QRegularExpression line("^\\s*(0x[0-9a-f]+) \"(.*)\": ");
    for (const QString& text : tree.split('\n')) {
      const auto match = line.match(text);
      if (!match.hasMatch() || match.captured(2) != name) continue;
      if (Run("xwininfo", {"-id", match.captured(1)}).contains("Map State: IsViewable")) {
        ids << match.captured(1);
      }
    }
    return ids;
  }

  // Of those, the dialog boxes (the splash window may carry the same name).
  QStringList VisibleBoxes(const QString& name) const {
    QStringList boxes;
    for (const QString& id : VisibleWindows(name)) {
      if (Run("xprop", {"-id", id, "_NET_WM_WINDOW_TYPE"}).contains("_NET_WM_WINDOW_TYPE_DIALOG")) {
        boxes << id;
      }
    }
    return boxes;
  }

  // What a user does to a box: give it the focus and press Enter (its OK button).
  void PressEnter(const QString& window_id) const {
    Run("xdotool", {"windowfocus", "--sync", window_id, "key", "Return"});
  }

 private:
  QProcess server_;
  QString display_;
};

// Polls `done` until it holds or the time is up, letting `program` report its end meanwhile.
bool WaitUntil(QProcess& program, const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    program.waitForFinished(100);
  }
  return done();
}

// A copy of the program in its own folder, as an installation would have it.
class Installation {
 public:
  explicit Installation(bool with_tables) {
    executable_ = dir_.File("melodrift");
    EXPECT_TRUE(QFile::copy(MELODRIFT_EXECUTABLE, QString::fromStdString(executable_)));
    if (with_tables) ::mkdir(dir_.File("tables").c_str(), 0755);
  }
  std::string Table(const std::string& name) const { return dir_.File("tables/" + name); }
  std::string Folder() const { return dir_.path() + "/"; }
  const std::string& executable() const { return executable_; }

 private:
  TempDir dir_;
  std::string executable_;
};

const std::map<std::string, long long> kFreshSizes = {
    {"track_id.dbf", 322},  {"feature_values.dbf", 130},
    {"errors.dbf", 98},     {"avg_array.dbf", 97 + 256 * 15 + 1},
    {"track_id.mdx", 4096}, {"feature_values.mdx", 4096},
};

std::map<std::string, std::string> TableBytes(const Installation& program) {
  std::map<std::string, std::string> bytes;
  for (const auto& [name, size] : kFreshSizes) bytes[name] = ReadFileBytes(program.Table(name));
  return bytes;
}

class MelodriftProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTools()) {
      GTEST_SKIP() << "needs Xvfb (package xvfb), xwininfo and xprop (x11-utils) and xdotool";
    }
    x_ = std::make_unique<XServer>();
    ASSERT_FALSE(x_->display().isEmpty()) << "Xvfb did not start";
  }

  void Start(QProcess& process, const Installation& program) {
    process.setProcessEnvironment(x_->Environment());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QString::fromStdString(program.executable()), {});
    ASSERT_TRUE(process.waitForStarted(kWaitMs));
  }

  // Whether the main window ("Melodrift", 467 pixels wide) is on the screen.
  bool MainWindowShownNow() {
    for (const QString& id : x_->VisibleWindows("Melodrift")) {
      if (x_->Run("xwininfo", {"-id", id}).contains(QRegularExpression("Width: 467\\b"))) {
        return true;
      }
    }
    return false;
  }
  bool MainWindowShown(QProcess& process) {
    return WaitUntil(process, [&] { return MainWindowShownNow(); });
  }

  // SIGTERM, as at a logout: the program closes its tables and ends with status 0.
  void Terminate(QProcess& process) {
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(kWaitMs));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
  }

  // Waits for the box and answers it with Enter.
  bool Answer(QProcess& process, const QString& caption) {
    QString box;
    if (!WaitUntil(process, [&] {
          const QStringList boxes = x_->VisibleBoxes(caption);
          if (!boxes.isEmpty()) box = boxes.first();
          return !box.isEmpty();
        })) {
      return false;
    }
    x_->PressEnter(box);
    return true;
  }

  // A start that fails on its tables: the "Could not create" box, then "Program halted.",
  // then the exit with the error's code.
  void ExpectHaltAfterCreationBox(const Installation& program, int code) {
    QProcess process;
    Start(process, program);
    ASSERT_TRUE(Answer(process, "Melodrift")) << "no \"Could not create\" box";
    ASSERT_TRUE(Answer(process, "Program halted.")) << "no \"Program halted.\" box";
    ASSERT_TRUE(process.waitForFinished(kWaitMs));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), code);
  }

  std::unique_ptr<XServer> x_;
};

TEST_F(MelodriftProgramTest, FirstStartCreatesTheLibraryAndASecondStartReadsIt) {
  Installation program(true);
  for (int start = 1; start <= 2; ++start) {
    SCOPED_TRACE("start " + std::to_string(start));
    QProcess process;
    Start(process, program);
    ASSERT_TRUE(MainWindowShown(process));
    EXPECT_TRUE(WaitUntil(process, [&] {
      return !x_->VisibleWindows("Configuration Wizard").isEmpty();
    })) << "an empty library offers the wizard";
    Terminate(process);
    for (const auto& [name, size] : kFreshSizes) {
      EXPECT_EQ(FileSize(program.Table(name)), size) << name;
    }
  }
}

TEST_F(MelodriftProgramTest, SigtermDuringTheOpeningEndsCleanlyOnceTheOpeningIsDone) {
  Installation program(true);
  {
    // Large enough that the opening (which builds the average from every feature row, letting
    // events run after each) is still running when the signal comes: about a second here.
    ScopedThrowingTableErrors throwing;
    std::vector<NewTrack> tracks;
    for (int i = 0; i < 3000; ++i) tracks.push_back(testing::Track("Artist", std::to_string(i)));
    testing::WriteLibrary(program.Folder(), tracks);
  }
  ASSERT_EQ(FileSize(program.Table("avg_array.dbf")), 97 + 1) << "the opening builds the average";

  QProcess process;
  Start(process, program);
  // The splash paints from the opening's first pump on, after the signal watch is installed.
  ASSERT_TRUE(WaitUntil(process, [&] {
    for (const QString& id : x_->VisibleWindows("Melodrift")) {
      if (x_->Run("xprop", {"-id", id, "_NET_WM_WINDOW_TYPE"}).contains("SPLASH")) return true;
    }
    return false;
  }));
  // The main window appears when the opening is done.
  if (MainWindowShownNow()) std::printf("note: the opening ended before the signal was sent\n");
  process.terminate();
  ASSERT_TRUE(process.waitForFinished(kWaitMs));
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process.exitCode(), 0);
  // The opening finished its work and the tables were closed with their headers.
  EXPECT_EQ(FileSize(program.Table("avg_array.dbf")), 97 + 256 * 15 + 1);
  const std::string avg = ReadFileBytes(program.Table("avg_array.dbf"));
  EXPECT_EQ(avg.substr(4, 4), std::string("\x00\x01\x00\x00", 4)) << "256 rows in the header";
}

TEST_F(MelodriftProgramTest, MissingTablesFolderEndsWithPathNotFound) {
  Installation program(false);
  ExpectHaltAfterCreationBox(program, 3);
  struct stat info;
  EXPECT_NE(::stat(program.Table("").c_str(), &info), 0) << "the program never makes the folder";
}

TEST_F(MelodriftProgramTest, TableFileThatIsAFolderEndsWithAccessDeniedAfterItsBoxes) {
  Installation program(true);
  ASSERT_EQ(::mkdir(program.Table("track_id.dbf").c_str(), 0755), 0);
  ExpectHaltAfterCreationBox(program, 5);
  struct stat info;
  ASSERT_EQ(::stat(program.Table("track_id.dbf").c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode)) << "the folder was replaced";
}

TEST_F(MelodriftProgramTest, SecondCopyOnTheSameFolderEndsWithSharingViolationAndChangesNothing) {
  Installation program(true);
  QProcess first;
  Start(first, program);
  ASSERT_TRUE(MainWindowShown(first));
  ASSERT_TRUE(WaitUntil(first, [&] { return FileSize(program.Table("feature_values.mdx")) > 0; }));
  const auto before = TableBytes(program);

  QProcess second;
  Start(second, program);
  ASSERT_TRUE(Answer(second, "Program halted."));
  ASSERT_TRUE(second.waitForFinished(kWaitMs));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 32);
  EXPECT_TRUE(TableBytes(program) == before) << "the second copy touched the library";

  Terminate(first);
}

TEST_F(MelodriftProgramTest, CommandLineWhileTheProgramRunsIsRefusedWithSharingViolation) {
  Installation program(true);
  QProcess window;
  Start(window, program);
  ASSERT_TRUE(MainWindowShown(window));
  ASSERT_TRUE(WaitUntil(window, [&] { return FileSize(program.Table("feature_values.mdx")) > 0; }));
  const QString cli = QString::fromStdString(program.Folder() + "melodrift-cli");
  ASSERT_TRUE(QFile::copy(MELODRIFT_CLI_EXECUTABLE, cli));
  const auto before = TableBytes(program);

  for (const QStringList& args :
       {QStringList{"tracks"}, QStringList{"import", MELODRIFT_TEST_MP3_DIR},
        QStringList{"check"}}) {
    SCOPED_TRACE(args.join(' ').toStdString());
    QProcess command;
    command.start(cli, args);
    ASSERT_TRUE(command.waitForFinished(kWaitMs));
    EXPECT_EQ(command.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(command.exitCode(), 32);
    EXPECT_TRUE(command.readAllStandardError().contains("File sharing violation"));
    EXPECT_TRUE(TableBytes(program) == before) << "the command line touched the library";
    EXPECT_FALSE(QFile::exists(QString::fromStdString(program.Folder() + "xxxyyzzz.wav")));
  }

  Terminate(window);
}

}  // namespace
}  // namespace melodrift
