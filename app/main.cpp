// Program entry: the windows in their fixed order, the splash at once, then the event loop.
// The program reads no command line; everything is found beside the executable.
#include <QApplication>
#include <csignal>

#include "analysis/add_progress_form.h"
#include "app/about_box.h"
#include "app/config_form.h"
#include "app/indexing_form.h"
#include "app/main_form.h"
#include "app/program_folder.h"
#include "app/qt_dialogs.h"
#include "app/qt_event_pump.h"
#include "app/qt_fatal_error.h"
#include "app/qt_signal_watch.h"
#include "app/random_source.h"
#include "app/splash_form.h"
#include "app/track_details_form.h"
#include "library/error_form.h"
#include "library/indexing_view.h"
#include "playback/qt_audio_output.h"
#include "playlist/parameter_form.h"
#include "playlist/playlist_form.h"
#include "playlist/progress_form.h"

using namespace melodrift;

int main(int, char** argv) {
  // A file size limit (ulimit -f) must fail the write ("Disk write error"), not kill the
  // process between two table writes.
  std::signal(SIGXFSZ, SIG_IGN);
  // Qt gets only the program's name: no option of the command line is read.
  int qt_argc = 1;
  char* qt_argv[] = {argv[0], nullptr};
  QApplication app(qt_argc, qt_argv);
  QApplication::setApplicationName(QStringLiteral("Melodrift"));
  // The main window ends the program; the wizard or splash may still be visible then.
  QApplication::setQuitOnLastWindowClosed(false);
  InstallQtTableErrorHandlers();

  TIndexingForm indexing;
  SetIndexingView(&indexing);

  RandomSource random;
  QtEventPump pump;
  QtDialogs dialogs;

  // The other windows are declared after the main window, so they go before it. The candidate
  // tables (TDMod) come with the main window, before any other window.
  TMainForm form(ProgramFolder(), random, pump, dialogs);
  dialogs.SetOwner(&form);
  TAboutBox about(&form);
  TParameterForm parameters(&form);
  TProgressForm progress(&form);
  TPlaylistForm playlist(form.DMod().PlayList, parameters, dialogs, pump,
                         DefaultAudioOutputFactory(), &form);
  TAddProgress add_progress(&form);
  TTrackDetails details(&form);
  TSplashForm splash(random);
  splash.show();
  TErrorForm errors(form.Tables().ErrorDBF, &form);
  TConfigForm config(&form);
  form.AttachWindows({.about = &about,
                      .details = &details,
                      .splash = &splash,
                      .errors = &errors,
                      .config = &config,
                      .add_progress = &add_progress,
                      .parameters = &parameters,
                      .progress = &progress,
                      .playlist = &playlist});
  QObject::connect(&form, &TMainForm::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);

  QtSignalWatch signal_watch(form, [&form] { return form.SafeToClose(); });

  form.show();  // runs the library opening
  const int status = QApplication::exec();
  SetIndexingView(nullptr);
  return status;
}
